#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite: a plain -Werror build, the same suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, and a few seconds of each libFuzzer target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh

# Tests never touch the user's own folders.
scratch=$(mktemp -d /tmp/velmo-test.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
export VELMO_PORTS_DIR="$scratch/ports"
export XDG_STATE_HOME="$scratch/state"
export XDG_CONFIG_HOME="$scratch/config"
export XDG_RUNTIME_DIR="$scratch/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/velmo-ccache}"
jobs=$(nproc 2>/dev/null || echo 2)

echo "== plain build (-Wall -Wextra -Werror) =="
bash scripts/build.sh build/ci -DVELMO_WERROR=ON
ctest --test-dir build/ci --output-on-failure -j "$jobs"

echo "== sanitizers (address, undefined) =="
bash scripts/build.sh build/asan -DVELMO_WERROR=ON -DVELMO_SANITIZE=ON -DVELMO_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"

echo "== fuzz targets (clang, libFuzzer) =="
CC=clang CXX=clang++ bash scripts/build.sh build/fuzz -DVELMO_WERROR=ON -DVELMO_BUILD_FUZZ=ON -DVELMO_BUILD_TESTS=OFF \
  -DVELMO_BUILD_BENCH=OFF -DVELMO_BUILD_PROGRAMS=OFF -DVELMO_BUILD_MANAGER=OFF
for target in build/fuzz/bin/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$scratch/corpus-$name"
  mkdir -p "$corpus"
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$corpus/"
  echo "-- $name"
  "$target" -max_total_time="${FUZZ_SECONDS:-5}" -print_final_stats=0 "$corpus" 2>&1 | tail -n 2
done

echo "== all tests passed =="
