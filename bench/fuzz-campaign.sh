#!/usr/bin/env bash
# A fuzz campaign: every libFuzzer target for MINUTES (10 by default), two at a time, each starting from its
# checked-in corpus; then each corpus is minimised (libFuzzer's merge) back into fuzz/corpus/<target>, to be
# committed. Prints a Markdown table of executions, coverage features and crashes per target; a crash's
# input is kept in the work folder named at the end, and the exit status is 1.
#   bash bench/fuzz-campaign.sh [MINUTES] [FUZZ_BUILD_DIR]
# Without FUZZ_BUILD_DIR it builds build/fuzz as the test script does (clang, libFuzzer).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
minutes=${1:-10}
dir=${2:-}
if [ -z "$dir" ]; then
  dir=build/fuzz
  bash scripts/install-deps.sh
  CC=clang CXX=clang++ bash scripts/build.sh "$dir" -DVELMO_WERROR=ON -DVELMO_BUILD_FUZZ=ON \
    -DVELMO_BUILD_TESTS=OFF -DVELMO_BUILD_BENCH=OFF -DVELMO_BUILD_PROGRAMS=OFF -DVELMO_BUILD_MANAGER=OFF
fi
work=$(mktemp -d /tmp/velmo-fuzz.XXXXXX)
seconds=$((minutes * 60))

# run NAME: fuzzes one target into work/NAME/new; its log in work/NAME/log.
run() {
  local name=$1 target=$dir/bin/$1
  mkdir -p "$work/$name/new" "$work/$name/crashes"
  if [ -d "fuzz/corpus/$name" ]; then
    cp -r "fuzz/corpus/$name/." "$work/$name/new/"
  fi
  local status=0
  "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/$name/crashes/" \
    "$work/$name/new" >"$work/$name/log" 2>&1 || status=$?
  echo "$status" >"$work/$name/status"
}

targets=()
for t in "$dir"/bin/fuzz_*; do
  [ -x "$t" ] && targets+=("$(basename "$t")")
done
echo "fuzz campaign: ${#targets[@]} targets, ${minutes} min each, two at a time (work in $work)"
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  run "${targets[i]}" &
  if ((i + 1 < ${#targets[@]})); then
    run "${targets[i + 1]}" &
  fi
  wait
done

echo "| target | executions | executions/s | coverage | features | corpus before | corpus after | crashes |"
echo "|--------|-----------:|-------------:|---------:|---------:|--------------:|-------------:|--------:|"
failed=0
for name in "${targets[@]}"; do
  log=$work/$name/log
  before=$(find "fuzz/corpus/$name" -type f 2>/dev/null | wc -l)
  # Minimised back into the checked-in folder.
  mkdir -p "$work/$name/min"
  "$dir/bin/$name" -merge=1 "$work/$name/min" "$work/$name/new" >"$work/$name/merge.log" 2>&1
  rm -rf "fuzz/corpus/$name"
  mkdir -p "fuzz/corpus/$name"
  cp -r "$work/$name/min/." "fuzz/corpus/$name/"
  after=$(find "fuzz/corpus/$name" -type f | wc -l)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | awk '{print $2}')
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | awk '{print $2}')
  crashes=$(find "$work/$name/crashes" -type f | wc -l)
  if [ "$(cat "$work/$name/status")" != 0 ] || [ "$crashes" -gt 0 ]; then
    failed=1
  fi
  echo "| $name | ${execs:-?} | ${rate:-?} | ${cov:-?} | ${ft:-?} | $before | $after | $crashes |"
done
if ((failed)); then
  echo "crashes or failed runs: see $work/*/crashes and $work/*/log" >&2
  exit 1
fi
rm -rf "$work"
