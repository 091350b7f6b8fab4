#!/usr/bin/env bash
# Installs what is missing, builds the programs for /usr and makes the four Debian packages in
# build/package/packages: velmo-modem, velmo-manager, velmo-tools and velmo-modem-sim; then lintian checks each
# (errors fail; the warnings we keep are listed with their reasons in packaging/README.md).
#   bash scripts/package.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build/package}
cd "$root"
start=$(date +%s)
bash scripts/install-deps.sh
bash scripts/build.sh "$dir" -DVELMO_WERROR=ON -DVELMO_BUILD_TESTS=OFF -DVELMO_BUILD_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr
bash scripts/make-debs.sh "$dir"
echo "package.sh: done in $(($(date +%s) - start)) s"
