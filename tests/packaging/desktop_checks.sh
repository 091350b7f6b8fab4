#!/usr/bin/env bash
# The desktop entry and the AppStream metainfo pass their validators, and each program's manual page documents
# exactly the long options its --help prints.
# Usage: desktop_checks.sh PROGRAM...   (the built VelmoManager, velmo-cli, velmo-modem-sim; each one's page is
# packaging/man/<program name>.1.scd)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
app_id=com.brivanta.VelmoManager
failures=0

fail() {
  echo "desktop_checks: FAIL: $*" >&2
  failures=$((failures + 1))
}

if (($# == 0)); then
  echo "usage: desktop_checks.sh PROGRAM..." >&2
  exit 2
fi
for tool in desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null; then
    echo "desktop_checks: $tool is not installed (scripts/install-deps.sh installs it)" >&2
    exit 1
  fi
done

# The validators print their findings; they are shown only when they fail.
if ! out=$(desktop-file-validate "$root/packaging/desktop/$app_id.desktop" 2>&1); then
  fail "desktop-file-validate rejects $app_id.desktop:"$'\n'"$out"
fi
if ! out=$(appstreamcli validate --no-net "$root/packaging/desktop/$app_id.metainfo.xml" 2>&1); then
  fail "appstreamcli validate rejects $app_id.metainfo.xml:"$'\n'"$out"
fi

# Every --word, one a line, sorted.
long_options() {
  grep -oE -- '--[A-Za-z][A-Za-z0-9-]*' | sed 's/-*$//' | sort -u
}

for program in "$@"; do
  name=$(basename "$program")
  page=$root/packaging/man/$name.1.scd
  if [ ! -f "$page" ]; then
    fail "$name has no manual page $page"
    continue
  fi
  # The manager needs a display for its --help: the offscreen one.
  if ! help=$(QT_QPA_PLATFORM=offscreen timeout 30 "$program" --help 2>&1); then
    fail "$program --help failed:"$'\n'"$help"
    continue
  fi
  helped=$(long_options <<<"$help")
  documented=$(long_options <"$page")
  missing=$(comm -23 <(echo "$helped") <(echo "$documented"))
  # --help itself is documented in every page: the program took it above even where its text does not list it.
  extra=$(comm -13 <(echo "$helped") <(echo "$documented") | grep -vx -- '--help')
  if [ -n "$missing" ]; then
    fail "$name --help prints options that $name.1.scd does not document: $(paste -sd " " <<<"$missing")"
  fi
  if [ -n "$extra" ]; then
    fail "$name.1.scd documents options that $name --help does not print: $(paste -sd " " <<<"$extra")"
  fi
done

if ((failures > 0)); then
  echo "desktop_checks: $failures check(s) failed" >&2
  exit 1
fi
echo "desktop_checks: desktop entry, metainfo and the manual pages of $# program(s) agree"
