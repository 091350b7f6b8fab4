#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite: a plain -Werror build, a short fault soak of
# the manager on the stand-in, the same suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, the programs that run threads three times under
# ThreadSanitizer, and a few seconds of each libFuzzer target. Each stage's wall
# time is printed as it ends and again in a summary at the end (also when a stage fails).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

stage_names=()
stage_times=()
stage_notes=()
summary() {
  local status=$? i total=0
  ((${#stage_names[@]})) || return 0
  echo "== stage times =="
  for i in "${!stage_names[@]}"; do
    printf '  %-16s %s%s\n' "${stage_names[$i]}" "$(clock "${stage_times[$i]}")" "${stage_notes[$i]}"
    total=$((total + stage_times[i]))
  done
  printf '  %-16s %s%s\n' "total" "$(clock "$total")" "$( ((status == 0)) || echo "  (exit status $status)")"
}
clock() {
  printf '%dm%02ds' $(($1 / 60)) $(($1 % 60))
}
# stage NAME COMMAND...: runs the command and records its wall time, failed or not.
stage() {
  local name=$1 start=$SECONDS status=0
  shift
  "$@" || status=$?
  stage_names+=("$name")
  stage_times+=($((SECONDS - start)))
  stage_notes+=("$( ((status == 0)) || echo "  FAILED")")
  echo "-- $name: $(clock $((SECONDS - start)))${stage_notes[-1]}"
  return "$status"
}

scratch=
trap 'summary; [ -z "$scratch" ] || rm -rf "$scratch"' EXIT

stage "install" bash scripts/install-deps.sh

# Tests never touch the user's own folders.
scratch=$(mktemp -d /tmp/velmo-test.XXXXXX)
export VELMO_PORTS_DIR="$scratch/ports"
export XDG_STATE_HOME="$scratch/state"
export XDG_CONFIG_HOME="$scratch/config"
export XDG_RUNTIME_DIR="$scratch/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/velmo-ccache}"
jobs=$(nproc 2>/dev/null || echo 2)

# A private session bus for the whole run, so that no test reaches a desktop's bus (the GUI tests get one
# of their own besides, through their registration); it ends with ctest.
run_tests() {
  dbus-run-session -- ctest --test-dir "$1" --output-on-failure -j "$jobs"
}

# Runs as a stage, where errexit does not hold: every failure is returned.
fuzz_runs() {
  local target name corpus
  for target in build/fuzz/bin/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus="$scratch/corpus-$name"
    mkdir -p "$corpus" || return
    if [ -d "fuzz/corpus/$name" ]; then
      cp -r "fuzz/corpus/$name/." "$corpus/" || return
    fi
    echo "-- $name"
    "$target" -max_total_time="${FUZZ_SECONDS:-5}" -print_final_stats=0 "$corpus" 2>&1 | tail -n 2 || return
  done
}

echo "== plain build (-Wall -Wextra -Werror) =="
# Built for /usr, so that its packages are those of scripts/package.sh.
stage "plain build" bash scripts/build.sh build/ci -DVELMO_WERROR=ON -DCMAKE_INSTALL_PREFIX=/usr
stage "plain tests" run_tests build/ci

echo "== Debian packages (lintian, and the programs run as installed) =="
stage "packages" bash scripts/make-debs.sh build/ci
stage "installed programs" bash tests/packaging/installed_programs.sh build/ci/packages

echo "== fault soak (two minutes; fails on a crash, a slow answer or a fault not recovered) =="
stage "soak" bash bench/soak.sh 2 build/ci/bin

echo "== sanitizers (address, undefined) =="
stage "sanitizer build" bash scripts/build.sh build/asan -DVELMO_WERROR=ON -DVELMO_SANITIZE=ON -DVELMO_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  stage "sanitizer tests" run_tests build/asan

echo "== thread sanitizer (the test programs that run threads, three times) =="
# The library's readers and waits, the dial-up service's callback thread, the manager's worker, pause, dial
# callback, screen-flow thread, RF sampler and report hand-off; the widget tests stay out (Qt's own
# cross-thread calls are invisible to the sanitizer), and so do the two udev tests under umockdev, which run
# no thread of ours, only umockdev's own GLib worker, whose locks the sanitizer cannot see. tests/tsan.supp names
# uninstrumented libraries only.
tsan_targets="velmo_transport_tests velmo_protocol_tests velmo_contract_tests velmo_service_tests velmo_dialup_tests
  velmo_dial_operations_tests velmo_manager_core_tests velmo_manager_machine_tests
  velmo_manager_model_tests velmo_crash_safe_files_tests velmo_manager_desktop_tests"
BUILD_TARGETS="$tsan_targets" stage "tsan build" bash scripts/build.sh build/tsan -DVELMO_WERROR=ON \
  -DVELMO_SANITIZE_THREAD=ON -DVELMO_BUILD_BENCH=OFF
tsan_tests() {
  dbus-run-session -- ctest --test-dir build/tsan --output-on-failure -j "$jobs" --repeat until-fail:3 \
    -L '^(transport|protocol|service|dialup|manager\.core|manager\.desktop)$' \
    -E '^(dialup\.udev|manager\.core\.PortDetectionTest\..*)$'
}
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/tsan.supp" \
  stage "tsan tests" tsan_tests

echo "== fuzz targets (clang, libFuzzer) =="
CC=clang CXX=clang++ stage "fuzz build" bash scripts/build.sh build/fuzz -DVELMO_WERROR=ON -DVELMO_BUILD_FUZZ=ON \
  -DVELMO_BUILD_TESTS=OFF -DVELMO_BUILD_BENCH=OFF -DVELMO_BUILD_PROGRAMS=OFF -DVELMO_BUILD_MANAGER=OFF
stage "fuzz runs" fuzz_runs

echo "== all tests passed =="
