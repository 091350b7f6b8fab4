#!/usr/bin/env bash
# The whole manager against the stand-in, as the demo starts it: the window comes up, the worker finds the
# modem on its fixed port, the panel reads "Gotowy", and the program closes in order when asked.
set -euo pipefail
bin=$1
work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
chmod 700 "$work"
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime VELMO_PORTS_DIR=$work/ports
export VELMO_PHONEBOOK_DIR=$work/phonebook VELMO_DIALUP_RUNTIME_DIR=$work/dialup VELMO_SIM_STATE=$work/sim.state
export VELMO_DISCOVERY_ADDRESS=127.0.0.1 QT_QPA_PLATFORM=offscreen
mkdir -p "$VELMO_PORTS_DIR" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

"$bin/velmo-modem-sim" --scenario healthy-evdo >"$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 100); do
  grep -q 'port' "$work/sim.out" && break
  sleep 0.1
done
port=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$work/sim.out" | head -n 1)
[ -n "$port" ] || { echo "the stand-in did not start"; cat "$work/sim.out"; exit 1; }

status=0
timeout 60 "$bin/VelmoManager" --use-port "$port" --no-splash --report-timing --quit-when-ready \
  --screenshot "$work/window.png" 2>"$work/manager.err" || status=$?
cat "$work/manager.err"
[ "$status" -eq 0 ] || { echo "VelmoManager ended with $status"; exit 1; }
grep -q 'ready after' "$work/manager.err" || { echo "the manager never read Gotowy"; exit 1; }
[ -s "$work/window.png" ] || { echo "no picture of the window"; exit 1; }
# The preset profile was made on the first start with a device, in a private 0600 settings file.
grep -q 'Default%20Profile=1xEvDO' "$work/config/Brivanta/VelmoManager.ini" || { echo "no preset profile"; exit 1; }
[ "$(stat -c %a "$work/config/Brivanta/VelmoManager.ini")" = 600 ] || { echo "settings file not 0600"; exit 1; }
echo "ok"
