#!/usr/bin/env bash
# Configures and builds one build directory. Usage: [BUILD_TARGETS="a b"] build.sh DIR [cmake options...]
# cmake's configure output is shown only when the configure fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
jobs=$(nproc 2>/dev/null || echo 2)
# The cache keys on paths relative to the clone and not on the build folder, so a clone in another folder
# reuses it (the debug info of such hits names the first clone's folder).
export CCACHE_BASEDIR="$root"
export CCACHE_NOHASHDIR=1
log=$(mktemp)
if ! cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$@" >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  echo "build.sh: configuring $dir failed" >&2
  exit 1
fi
rm -f "$log"
# shellcheck disable=SC2086 # the target list splits on blanks
cmake --build "$dir" -j "$jobs" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
