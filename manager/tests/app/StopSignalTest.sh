#!/usr/bin/env bash
# The real program on the stand-in, stopped by SIGTERM as a desktop session or a service manager stops it:
# the same ordered shutdown as the close button, so the modem receives the quit requests and the program
# exits cleanly.
set -euo pipefail
bin=$1
work=$(mktemp -d)
trap 'kill "$velmo_sim_pid" "${manager_pid:-}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
source "$(dirname "$0")/../../../scripts/standin-env.sh"
velmo_test_env "$work"
velmo_start_standin "$bin" healthy-evdo
port=$velmo_sim_port

"$bin/VelmoManager" --use-port "$port" --no-splash --language pl --report-timing 2>"$work/manager.err" &
manager_pid=$!
for _ in $(seq 600); do
  grep -qs 'ready after' "$work/manager.err" && break
  kill -0 "$manager_pid" 2>/dev/null || break
  sleep 0.1
done
grep -q 'ready after' "$work/manager.err" || { cat "$work/manager.err"; echo "the manager never read Gotowy"; exit 1; }
"$bin/velmo-modem-sim" ctl clear-requests >/dev/null

kill -TERM "$manager_pid"
sleep 0.2
kill -TERM "$manager_pid" 2>/dev/null || true  # a second signal during the shutdown changes nothing
status=0
for _ in $(seq 300); do
  kill -0 "$manager_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$manager_pid" 2>/dev/null; then
  echo "the manager did not end within 30 s of SIGTERM"
  exit 1
fi
wait "$manager_pid" || status=$?
manager_pid=
cat "$work/manager.err"
[ "$status" -eq 0 ] || { echo "VelmoManager ended with $status after SIGTERM"; exit 1; }

requests=$("$bin/velmo-modem-sim" ctl requests)
echo "$requests" | grep -qi '^3c 00 05 03 00' || { echo "no quit request 5 on the wire:"; echo "$requests"; exit 1; }
echo "$requests" | grep -qi '^3c 00 10' || { echo "no quit request 16 on the wire:"; echo "$requests"; exit 1; }
echo "ok"
