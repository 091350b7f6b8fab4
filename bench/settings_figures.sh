#!/usr/bin/env bash
# Builds and runs the settings window's figures on the stand-in: opening times, Apply's duration and the
# longest stretch without a repaint during Apply. Usage: bash bench/settings_figures.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build/bench}
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$dir" -DVELMO_BUILD_TESTS=OFF
cmake --build "$dir" --target velmo_settings_figures
XDG_RUNTIME_DIR=$(mktemp -d) dbus-run-session -- "$dir/bin/velmo_settings_figures"
