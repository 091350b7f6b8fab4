#!/usr/bin/env bash
# How often VelmoManager wakes while it polls a healthy stand-in: voluntary context switches per second of each
# thread (by name) and of the whole process, and its share of one core, over SECONDS (60 by default).
# The manager runs offscreen on a private session bus and a temporary folder, with the desktop switches on.
#   bash bench/wakeups.sh [BIN_DIR] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = "--inner" ]; then
  bin=$2 seconds=$3
  work=$(mktemp -d)
  trap 'kill "$mgr" "$velmo_sim_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
  source "$root/scripts/standin-env.sh"
  velmo_test_env "$work"
  velmo_start_standin "$bin" healthy-evdo >/dev/null
  velmo_start_manager "$bin" "$work/mgr.err" || true
  mgr=$velmo_mgr_pid
  # Let the first cycles and the window's start-up settle.
  sleep 3
  # One line per thread: tid name switches.
  snapshot() {
    for task in /proc/"$mgr"/task/*; do
      printf '%s %s %s\n' "${task##*/}" "$(tr ' ' '_' <"$task/comm")" \
        "$(awk '/^voluntary_ctxt_switches/ {print $2}' "$task/status")"
    done
  }
  cpu() { awk '{print $14 + $15}' "/proc/$mgr/stat"; }
  snapshot >"$work/before"
  c0=$(cpu)
  sleep "$seconds"
  snapshot >"$work/after"
  c1=$(cpu)
  # Threads are summed by name; a thread that came or went counts what it did inside the window.
  awk -v d="$seconds" 'NR == FNR { b[$1] = $3; next }
    { n = $3 - ($1 in b ? b[$1] : 0); per[$2] += n; count[$2]++; total += n }
    END {
      for (name in per) printf "  %-16s x%-2d %7.1f /s\n", name, count[name], per[name] / d | "sort -k3 -nr"
      close("sort -k3 -nr")
      printf "  %-16s     %7.1f /s\n", "whole process", total / d
    }' "$work/before" "$work/after"
  awk -v c="$((c1 - c0))" -v t="$(getconf CLK_TCK)" -v d="$seconds" \
    'BEGIN { printf "  CPU: %.2f %% of one core over %d s\n", 100 * c / t / d, d }'
  exit 0
fi
bin=${1:-$root/build/bench/bin}
seconds=${2:-60}
echo "VelmoManager wake-ups per thread over ${seconds} s (voluntary context switches)"
dbus-run-session -- bash "$0" --inner "$bin" "$seconds" 2> >(grep -v 'fd limit' >&2)
