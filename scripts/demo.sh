#!/usr/bin/env bash
# Installs what is missing, builds, starts the modem stand-in with a healthy modem and opens VelmoManager on it.
# Everything the demo writes (settings, phonebook, ports folder, the stand-in's device state) lives under
# build/demo/run, so the user's own settings are never touched.
#   DEMO_SCENARIO=card-pin bash scripts/demo.sh     start the stand-in with another scenario
#   DEMO_SCREENSHOT=docs/main-window.png            save a picture of the window once it reads "Gotowy"
#   DEMO_QUIT_WHEN_READY=1                          close the manager once it is ready (for checks)
# Without a display (no $DISPLAY or $WAYLAND_DISPLAY) the manager runs on a virtual X server (xvfb-run).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
bash scripts/build.sh build/demo -DVELMO_BUILD_TESTS=OFF -DVELMO_BUILD_BENCH=OFF
bin=$root/build/demo/bin

run=$root/build/demo/run
mkdir -p "$run"
chmod 700 "$run"
export XDG_CONFIG_HOME=$run/config
export VELMO_PORTS_DIR=$run/ports
export VELMO_PHONEBOOK_DIR=$run/phonebook
export VELMO_DIALUP_RUNTIME_DIR=$run/dialup
export VELMO_SIM_STATE=$run/modem-sim.state
export VELMO_DISCOVERY_ADDRESS=127.0.0.1
mkdir -p "$VELMO_PORTS_DIR"

start_line=$(mktemp)
"$bin/velmo-modem-sim" --scenario "${DEMO_SCENARIO:-healthy-evdo}" >"$start_line" &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -f "$start_line"' EXIT
for _ in $(seq 50); do
  grep -q 'port' "$start_line" && break
  sleep 0.1
done
cat "$start_line"
port=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$start_line" | head -n 1)
if [ -z "$port" ]; then
  echo "demo: the modem stand-in did not start" >&2
  exit 1
fi

args=(--use-port "$port" --report-timing)
if [ -n "${DEMO_SCREENSHOT:-}" ]; then
  args+=(--screenshot "$(realpath -m "$DEMO_SCREENSHOT")")
fi
if [ "${DEMO_QUIT_WHEN_READY:-0}" = "1" ]; then
  args+=(--quit-when-ready)
fi

echo
echo "VelmoManager opens on the stand-in's port $port. While it runs, try in another terminal:"
echo "  VELMO_PORTS_DIR=$VELMO_PORTS_DIR $bin/velmo-modem-sim ctl scenario no-service"
echo "  VELMO_PORTS_DIR=$VELMO_PORTS_DIR $bin/velmo-modem-sim ctl scenario healthy-evdo"
echo "  VELMO_PORTS_DIR=$VELMO_PORTS_DIR $bin/velmo-modem-sim ctl vanish; sleep 3; VELMO_PORTS_DIR=$VELMO_PORTS_DIR $bin/velmo-modem-sim ctl appear"
echo "Close the window (its x button) to end the demo."
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$bin/VelmoManager" "${args[@]}"
else
  xvfb-run -a -s "-screen 0 800x600x24" "$bin/VelmoManager" "${args[@]}"
fi
