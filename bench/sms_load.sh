#!/usr/bin/env bash
# Figures of the messages tab reading a full in-box: 30 messages put into the stand-in's in-box, the manager
# started on it (offscreen, under a private session bus), the tab opened once the modem is ready; the manager
# says how long the in-box took and the window's longest stretch without serving a 10 ms timer meanwhile.
# Three runs.
#   bash bench/sms_load.sh [BIN_DIR]
# Without BIN_DIR it installs what is missing and builds build/bench; with it, it runs the programs there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -ge 1 ]; then
  bin=$(cd "$1" && pwd)
else
  dir=$root/build/bench
  bash "$root/scripts/install-deps.sh"
  bash "$root/scripts/build.sh" "$dir" -DVELMO_BUILD_TESTS=OFF
  bin=$dir/bin
fi
work=$(mktemp -d)
trap 'kill "${velmo_sim_pid:-}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
source "$root/scripts/standin-env.sh"
velmo_test_env "$work"
velmo_start_standin "$bin" healthy-evdo >/dev/null
port=$velmo_sim_port
for i in $(seq 1 30); do
  "$bin/velmo-modem-sim" ctl sms deliver "55512340$(printf %02d "$i")" \
    "Wiadomość $i: zażółć gęślą jaźń, a tekst jest nieco dłuższy, żeby lista miała co pokazać." >/dev/null
done

echo "reading an in-box of 30 messages on the stand-in (port $port), three runs:"
for run in 1 2 3; do
  shots=$work/shots-$run
  mkdir -p "$shots"
  line=$(dbus-run-session -- "$bin/VelmoManager" --use-port "$port" --no-splash --report-timing \
    --screenshot-messages "$shots" 2>&1 | grep 'messages read in' || true)
  if [ -z "$line" ]; then
    echo "run $run: the manager did not report the in-box" >&2
    exit 1
  fi
  echo "  run $run: ${line#VelmoManager: }"
done
