#!/usr/bin/env bash
# The desktop's cost: VelmoManager's CPU and wake-ups per second while it polls a healthy stand-in, with the
# tray icon, desktop notices and D-Bus interface switched off and on, and how long a D-Bus property read takes.
# Each run has a private session bus and a temporary folder; the manager runs offscreen (where no tray exists,
# so "on" costs the icon's upkeep but draws nothing).
#   bash bench/desktop_figures.sh [BIN_DIR] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = "--inner" ]; then
  mode=$2 bin=$3 seconds=$4
  work=$(mktemp -d)
  trap 'kill "$mgr" "$velmo_sim_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
  source "$root/scripts/standin-env.sh"
  velmo_private_env "$work"
  export XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen
  mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/Brivanta"
  chmod 700 "$XDG_RUNTIME_DIR"
  on=$([ "$mode" = on ] && echo 1 || echo 0)
  printf '[Setting]\nTray%%20Icon=%s\nDesktop%%20Notifications=%s\nDBus%%20Interface=%s\n' "$on" "$on" "$on" \
    >"$XDG_CONFIG_HOME/Brivanta/VelmoManager.ini"
  chmod 600 "$XDG_CONFIG_HOME/Brivanta/VelmoManager.ini"
  velmo_start_standin "$bin" healthy-evdo >/dev/null
  velmo_start_manager "$bin" "$work/mgr.err" || true
  mgr=$velmo_mgr_pid
  sleep 2
  switches() { cat /proc/"$mgr"/task/*/status | awk '/voluntary_ctxt_switches/ {n += $2} END {print n}'; }
  cpu() { awk '{print $14 + $15}' "/proc/$mgr/stat"; }
  s0=$(switches) c0=$(cpu)
  sleep "$seconds"
  s1=$(switches) c1=$(cpu)
  awk -v m="$mode" -v s="$((s1 - s0))" -v c="$((c1 - c0))" -v t="$(getconf CLK_TCK)" -v d="$seconds" \
    'BEGIN { printf "desktop %-3s: %.1f wake-ups/s, %.2f %% of one core over %d s\n", m, s/d, 100*c/t/d, d }'
  if [ "$mode" = on ]; then
    # One gdbus call per read; the same call to the bus daemon itself gives the cost of gdbus and the bus,
    # which is taken off.
    time_ms() { local a b; a=$(date +%s%N); "$@" >/dev/null; b=$(date +%s%N); echo $(((b - a) / 1000)); }
    median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
    base=$(for _ in $(seq 50); do
      time_ms gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.GetId
    done | median)
    read=$(for _ in $(seq 50); do
      time_ms gdbus call --session --dest com.brivanta.VelmoManager --object-path /com/brivanta/VelmoManager \
        --method org.freedesktop.DBus.Properties.Get com.brivanta.VelmoManager.Modem StatusText
    done | median)
    echo "D-Bus property read: median ${read} us per gdbus call, ${base} us for the same call to the bus" \
      "daemon: about $((read - base)) us in the manager"
  fi
  exit 0
fi
bin=${1:-$root/build/bench/bin}
seconds=${2:-60}
for mode in off on; do
  dbus-run-session -- bash "$0" --inner "$mode" "$bin" "$seconds" 2> >(grep -v 'fd limit' >&2)
done
