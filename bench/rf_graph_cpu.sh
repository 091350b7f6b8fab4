#!/usr/bin/env bash
# What the RF graph costs: VelmoManager on the stand-in (offscreen, its own session bus, everything in a
# temporary folder) with the graph open and sampling, its CPU over ten seconds while the stand-in streams its
# RF records at 5 Hz and at 50 Hz, and the graphs' time per repaint.
#   bash bench/rf_graph_cpu.sh [BIN_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/bench/bin}
if [ ! -x "$bin/VelmoManager" ]; then
  bash "$root/scripts/install-deps.sh"
  bash "$root/scripts/build.sh" "$root/build/bench" -DVELMO_BUILD_TESTS=OFF
  bin=$root/build/bench/bin
fi
if [ -z "${VELMO_BENCH_OWN_BUS:-}" ]; then
  VELMO_BENCH_OWN_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
work=$(mktemp -d)
mgr=
source "$root/scripts/standin-env.sh"
velmo_test_env "$work"
velmo_start_standin "$bin" healthy-evdo
trap 'kill ${mgr:+"$mgr"} "$velmo_sim_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT

"$bin/VelmoManager" --no-splash --report-timing --use-port "$velmo_sim_port" --open-rf-graph-when-ready \
  2>"$work/mgr.err" &
mgr=$!
for _ in $(seq 300); do
  grep -q 'ready after' "$work/mgr.err" && break
  sleep 0.1
done
grep -q 'ready after' "$work/mgr.err" || { cat "$work/mgr.err" >&2; echo "the manager did not get ready" >&2; exit 1; }
ticks() { awk '{print $14 + $15}' "/proc/$mgr/stat"; }
hz=$(getconf CLK_TCK)
for rate in 5 50; do
  "$bin/velmo-modem-sim" ctl set log_rate_hz "$rate" >/dev/null
  sleep 2
  before=$(ticks)
  sleep 10
  after=$(ticks)
  awk -v t=$((after - before)) -v hz="$hz" -v r="$rate" \
    'BEGIN { printf "RF graph sampling, stand-in streaming at %d Hz: manager CPU %.1f %% of one core\n", r, 100 * t / hz / 10 }'
done
kill -TERM "$mgr"
wait "$mgr" || true
mgr=
grep 'repaints' "$work/mgr.err" || true
