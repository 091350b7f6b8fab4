#!/usr/bin/env bash
# What the network setup window's web view costs: VelmoManager on the stand-in's Ethernet unit (offscreen,
# its own session bus, everything in a temporary folder), its resident memory and its processes (itself and
# every descendant) once it reads ready, and again once the window has been shown and the unit's page loaded.
#   bash bench/network_setup_memory.sh [BIN_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/bench/bin}
if [ -z "${VELMO_BENCH_OWN_BUS:-}" ]; then
  VELMO_BENCH_OWN_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
work=$(mktemp -d)
sim=
mgr=
trap 'kill ${mgr:+"$mgr"} ${sim:+"$sim"} 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
source "$root/scripts/standin-env.sh"
velmo_test_env "$work"
# Ports of its own on loopback, so that another stand-in on the defaults is never found.
free_port() {
  python3 -c "import socket; s = socket.socket(socket.AF_INET, socket.$1); s.bind(('127.0.0.1', 0)); print(s.getsockname()[1])"
}
export VELMO_DISCOVERY_PORT=$(free_port SOCK_DGRAM) VELMO_DISCOVERY_REPLY_PORT=$(free_port SOCK_DGRAM)
export VELMO_DATA_PORT=$(free_port SOCK_STREAM) VELMO_UNIT_HTTP_PORT=$(free_port SOCK_STREAM)
if [ "$(id -u)" -eq 0 ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=1  # the engine's sandbox does not run as root
fi

"$bin/velmo-modem-sim" --ethernet --ethernet-address 127.0.0.1 --http-port "$VELMO_UNIT_HTTP_PORT" \
  >"$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 100); do
  grep -q 'web http' "$work/sim.out" && break
  sleep 0.1
done
grep -q 'web http' "$work/sim.out" || { cat "$work/sim.out" >&2; echo "the Ethernet unit did not start" >&2; exit 1; }

"$bin/VelmoManager" --no-splash --report-timing --open-network-setup-when-ready 2>"$work/mgr.err" &
mgr=$!
wait_for() {
  for _ in $(seq 600); do
    grep -q "$1" "$work/mgr.err" && return 0
    kill -0 "$mgr" 2>/dev/null || break
    sleep 0.1
  done
  cat "$work/mgr.err" >&2
  echo "the manager never printed '$1'" >&2
  exit 1
}

descendants() {
  local child
  for child in $(pgrep -P "$1" || true); do
    echo "$child"
    descendants "$child"
  done
}
rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
# Proportional set size: shared pages split between the processes that map them, so the sum is fair.
pss_kib() { awk '/^Pss:/ {print $2}' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0; }
measure() {
  local kids pid count=1 rss=0 pss own names=
  kids=$(descendants "$mgr")
  own=$(rss_kib "$mgr")
  pss=$(pss_kib "$mgr")
  for pid in $kids; do
    rss=$((rss + $(rss_kib "$pid")))
    pss=$((pss + $(pss_kib "$pid")))
    count=$((count + 1))
  done
  [ -z "$kids" ] || names=" ($(for pid in $kids; do ps -o comm= -p "$pid"; done | sort | uniq -c | xargs))"
  echo "$1:"
  echo "  manager VmRSS $((own / 1024)) MiB ($own KiB); processes $count$names"
  echo "  descendants' VmRSS together $((rss / 1024)) MiB ($rss KiB); PSS of all $((pss / 1024)) MiB ($pss KiB)"
}

wait_for 'ready after'
sleep 0.3
if grep -q 'network setup shown' "$work/mgr.err"; then
  echo "the window opened before the first measurement" >&2
  exit 1
fi
measure "ready, network setup never shown"
wait_for 'network setup page loaded'
sleep 3  # the helper processes settle
measure "network setup shown, page loaded"
grep 'VelmoManager:' "$work/mgr.err"
kill -TERM "$mgr"
wait "$mgr" || true
mgr=
