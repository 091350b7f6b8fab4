#!/usr/bin/env bash
# Installs what is missing, builds, starts the modem stand-in and shows the client talking to it: the start-up
# handshake and a live request-60 exchange. The stand-in keeps running until Ctrl-C (or DEMO_KEEP=0 to stop at once).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
bash scripts/build.sh build/demo -DVELMO_BUILD_TESTS=OFF -DVELMO_BUILD_BENCH=OFF -DVELMO_BUILD_MANAGER=OFF
bin=build/demo/bin

start_line=$(mktemp)
"$bin/velmo-modem-sim" --log-requests >"$start_line" &
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

echo
echo "\$ velmo-cli --port $port open"
"$bin/velmo-cli" --port "$port" open || echo "(exit status $?)"
echo
echo "\$ velmo-cli --port $port status"
"$bin/velmo-cli" --port "$port" status || echo "(exit status $?)"
echo
echo "\$ velmo-cli --port $port raw60 \"3C 00 00\""
"$bin/velmo-cli" --port "$port" raw60 "3C 00 00" || echo "(exit status $?)"
echo
echo "\$ velmo-modem-sim ctl status | head -n 14"
{ "$bin/velmo-modem-sim" ctl status || true; } | head -n 14

if [ "${DEMO_KEEP:-1}" = "1" ]; then
  echo
  echo "The stand-in keeps answering on port $port. Try:"
  echo "  $bin/velmo-cli --port $port rf --watch"
  echo "  $bin/velmo-modem-sim ctl scenario no-service; $bin/velmo-cli --port $port status"
  echo "  $bin/velmo-cli --port $port --spc 000000 nam write 1 5550123"
  echo "Press Ctrl-C to stop it."
  wait "$sim"
fi
