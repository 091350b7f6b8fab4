#!/usr/bin/env bash
# Makes the Debian packages from a build folder configured for /usr (scripts/package.sh, and the test run's
# plain build), lists their sizes and runs lintian on each: an error fails.
#   bash scripts/make-debs.sh BUILD_DIR
set -euo pipefail
dir=$(cd "$1" && pwd)
rm -rf "$dir/packages"
(cd "$dir" && cpack -G DEB --config CPackConfig.cmake >/dev/null)
shopt -s nullglob
debs=("$dir"/packages/*.deb)
if [ ${#debs[@]} -ne 4 ]; then
  echo "make-debs: expected 4 packages in $dir/packages, found ${#debs[@]}" >&2
  exit 1
fi
status=0
for deb in "${debs[@]}"; do
  size=$(stat -c %s "$deb")
  installed=$(dpkg-deb -f "$deb" Installed-Size)
  printf '%-40s %8d bytes, installed %6d KiB\n' "$(basename "$deb")" "$size" "$installed"
  # Errors fail; warnings are shown (packaging/README.md says why each one stays).
  report=$(lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1) || status=1
  grep -v '^running with root privileges' <<<"$report" || true
done
exit $status
