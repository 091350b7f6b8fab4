#!/usr/bin/env bash
# Launch and steady-state figures of VelmoManager against the stand-in: time to the window, time to "Gotowy",
# CPU used over a polling period and resident memory. Runs offscreen; everything stays in a temporary folder.
#   bash bench/manager_load.sh [BIN_DIR] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/bench/bin}
seconds=${2:-60}
work=$(mktemp -d)
trap 'kill "$mgr" "$velmo_sim_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
source "$root/scripts/standin-env.sh"
velmo_private_env "$work"
export XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
velmo_start_standin "$bin" healthy-evdo >/dev/null
port=$velmo_sim_port
sim=$velmo_sim_pid

"$bin/VelmoManager" --use-port "$port" --no-splash --report-timing 2>"$work/mgr.err" &
mgr=$!
for _ in $(seq 300); do
  grep -q 'ready after' "$work/mgr.err" && break
  sleep 0.1
done
grep 'VelmoManager:' "$work/mgr.err" || true

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
before=$(cpu "$mgr")
sim_before=$(cpu "$sim")
sleep "$seconds"
after=$(cpu "$mgr")
sim_after=$(cpu "$sim")
rss=$(awk '/VmRSS/ {print $2}' "/proc/$mgr/status")
awk -v a="$after" -v b="$before" -v t="$ticks" -v s="$seconds" \
  'BEGIN { printf "manager CPU over %d s of polling: %.2f s (%.2f %% of one core)\n", s, (a-b)/t, 100*(a-b)/t/s }'
awk -v a="$sim_after" -v b="$sim_before" -v t="$ticks" -v s="$seconds" \
  'BEGIN { printf "stand-in CPU over the same period: %.2f s\n", (a-b)/t }'
echo "manager resident memory: $((rss / 1024)) MiB ($rss KiB)"
