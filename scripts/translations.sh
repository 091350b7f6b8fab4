#!/usr/bin/env bash
# The manager's English translation, kept in manager/translations/velmo_en.ts.
#   translations.sh update  brings the file up to date with the texts in the code (new texts unfinished,
#                           removed ones marked vanished or obsolete) for a translator to finish
#   translations.sh check   runs the same on a copy and fails when an entry is unfinished, obsolete or vanished
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lupdate=${LUPDATE:-/usr/lib/qt6/bin/lupdate}
ts=manager/translations/velmo_en.ts
mode=${1:-check}

run_lupdate() { # SOURCE_ROOT TS_FILE
  local list
  list=$(mktemp)
  (cd "$1" && find manager -path manager/tests -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sort) >"$list"
  (cd "$1" && "$lupdate" -silent -locations none -source-language pl -target-language en -I . @"$list" -ts "$2")
  rm -f "$list"
}

case "$mode" in
  update)
    run_lupdate "$root" "$root/$ts"
    ;;
  check)
    copy=$(mktemp -d)
    trap 'rm -rf "$copy"' EXIT
    mkdir -p "$copy/manager/translations"
    (cd "$root" && find manager -path manager/tests -prune -o \( -name '*.cpp' -o -name '*.h' \) -print |
      xargs cp --parents -t "$copy")
    cp "$root/$ts" "$copy/$ts"
    run_lupdate "$copy" "$copy/$ts"
    status=0
    for kind in unfinished obsolete vanished; do
      count=$(grep -c "type=\"$kind\"" "$copy/$ts" || true)
      if ((count > 0)); then
        echo "translations: $count $kind entr$( ((count == 1)) && echo y || echo ies) in $ts:" >&2
        # The source text of each such entry, so that the message says what to translate or drop.
        python3 - "$copy/$ts" "$kind" >&2 <<'PY'
import sys, xml.etree.ElementTree as ET
for context in ET.parse(sys.argv[1]).getroot().iter('context'):
    for message in context.iter('message'):
        translation = message.find('translation')
        if translation is not None and translation.get('type') == sys.argv[2]:
            print('  [%s] %r' % (context.findtext('name'), message.findtext('source')))
PY
        status=1
      fi
    done
    if ((status != 0)); then
      echo "translations: run scripts/translations.sh update and translate the entries" >&2
    fi
    exit "$status"
    ;;
  *)
    echo "usage: translations.sh update|check" >&2
    exit 2
    ;;
esac
