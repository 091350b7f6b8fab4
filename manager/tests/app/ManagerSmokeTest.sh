#!/usr/bin/env bash
# The whole manager against the stand-in, as the demo starts it: the window comes up, the worker finds the
# modem on its fixed port, the panel reads "Gotowy", and the program closes in order when asked.
set -euo pipefail
bin=$1
work=$(mktemp -d)
trap 'kill "$velmo_sim_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
source "$(dirname "$0")/../../../scripts/standin-env.sh"
velmo_test_env "$work"
velmo_start_standin "$bin" healthy-evdo
port=$velmo_sim_port

status=0
timeout 60 "$bin/VelmoManager" --use-port "$port" --no-splash --language pl --report-timing --quit-when-ready \
  --screenshot "$work/window.png" 2>"$work/manager.err" || status=$?
cat "$work/manager.err"
[ "$status" -eq 0 ] || { echo "VelmoManager ended with $status"; exit 1; }
grep -q 'ready after' "$work/manager.err" || { echo "the manager never read Gotowy"; exit 1; }
[ -s "$work/window.png" ] || { echo "no picture of the window"; exit 1; }
# The preset profile was made on the first start with a device, in a private 0600 settings file.
grep -q 'Default%20Profile=1xEvDO' "$work/config/Brivanta/VelmoManager.ini" || { echo "no preset profile"; exit 1; }
[ "$(stat -c %a "$work/config/Brivanta/VelmoManager.ini")" = 600 ] || { echo "settings file not 0600"; exit 1; }
echo "ok"
