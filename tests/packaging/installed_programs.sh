#!/usr/bin/env bash
# The packages as installed: every .deb in DEBDIR unpacked into a scratch root, which is laid over /usr in a
# mount namespace of this script's own (an overlay: the system's /usr below, the packages' files above), so
# that the programs run from /usr/bin and find the library where the packages put it, by the real lookup and
# without LD_LIBRARY_PATH. Nothing is installed into the machine. Needs root (unshare -m).
#   bash tests/packaging/installed_programs.sh DEBDIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
debs=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for deb in "$debs"/*.deb; do
  dpkg-deb -x "$deb" "$scratch/root"
done
[ -x "$scratch/root/usr/bin/VelmoManager" ] || { echo "no VelmoManager in the packages"; exit 1; }
if [ -e /usr/bin/VelmoManager ] || [ -e /usr/bin/velmo-cli ]; then
  echo "the machine has the programs installed already: the check would not show the packages' files" >&2
  exit 1
fi

unshare -m --propagation private bash -s "$scratch" "$root" <<'INNER'
set -euo pipefail
scratch=$1
root=$2
mount -t overlay velmo-packages -o "lowerdir=$scratch/root/usr:/usr" /usr
export PATH=/usr/bin:/bin
velmo-cli --help >/dev/null
velmo-modem-sim --help >/dev/null
lib=$(ls /usr/lib/*/velmo/libVelmoModem.so)
echo "library installed at $lib"

work=$scratch/run
source "$root/scripts/standin-env.sh"
velmo_test_env "$work"
trap 'kill "${velmo_sim_pid:-}" 2>/dev/null || true; wait 2>/dev/null || true' EXIT
# The installed stand-in, with a scenario from its installed folder.
velmo_start_standin /usr/bin healthy-evdo >/dev/null
port=$velmo_sim_port
velmo-cli --port "$port" --json status >"$work/status.json"
grep -q '"esn"' "$work/status.json" || { echo "velmo-cli read no status: $(cat "$work/status.json")"; exit 1; }
status=0
# In English, so that the installed translation is the one found.
timeout 60 dbus-run-session -- VelmoManager --use-port "$port" --no-splash --report-timing --quit-when-ready \
  --language en 2>"$work/manager.err" || status=$?
[ "$status" -eq 0 ] || { cat "$work/manager.err"; echo "the installed VelmoManager ended with $status"; exit 1; }
grep -q 'ready after' "$work/manager.err" || { cat "$work/manager.err"; echo "the installed VelmoManager never read Ready"; exit 1; }
if grep -q 'no English translation' "$work/manager.err"; then
  cat "$work/manager.err"
  echo "the installed VelmoManager found no English translation"
  exit 1
fi
echo "installed programs: velmo-cli and velmo-modem-sim answer, VelmoManager reached Ready in English on the installed stand-in"
INNER
