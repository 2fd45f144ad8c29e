#!/usr/bin/env bash
# Long fuzz runs: builds the libFuzzer targets (preset linux-fuzz) and runs each for a while,
# as many at a time as there are cores, then folds what each run found into its committed
# corpus (fuzz/corpus/<target>), keeping only the inputs that add coverage, so the test
# command's smoke runs replay them. A crash, leak, timeout or sanitizer report is kept under
# build/linux-fuzz/fuzz-long/<target>/artifacts/ and makes the script fail.
#
#   ./scripts/fuzz-long.sh                       every target, 1800 s each
#   FUZZ_SECONDS=600 ./scripts/fuzz-long.sh text_entry_fuzz x11_text_fuzz
#   FUZZ_JOBS=1 ./scripts/fuzz-long.sh           one at a time
#
# Each target's executions, coverage, features, corpus and findings are printed in a summary
# at the end, and kept in build/linux-fuzz/fuzz-long/<target>/summary.txt.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${FUZZ_SECONDS:-1800}
jobs=${FUZZ_JOBS:-$(nproc 2>/dev/null || echo 2)}
out=build/linux-fuzz/fuzz-long

./scripts/install-deps.sh || exit 1
cmake --preset linux-fuzz >/dev/null || exit 1
cmake --build --preset linux-fuzz || exit 1

if [ "$#" -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for d in fuzz/corpus/*/; do targets+=("$(basename "$d")"); done
fi
for t in "${targets[@]}"; do
  [ -x "build/linux-fuzz/fuzz/$t" ] || { echo "fuzz-long: no target $t" >&2; exit 1; }
done

run_one() {  # run_one TARGET: the long run, then the merge into the committed corpus
  local t=$1 bin="$root/build/linux-fuzz/fuzz/$1" dir="$root/$out/$1"
  rm -rf "$dir" && mkdir -p "$dir/work" "$dir/artifacts"
  : >"$dir/log.txt"
  local end=$(($(date +%s) + seconds)) left started
  # A finding ends a libFuzzer run (its input is kept as an artifact); the run goes on from
  # the corpus grown so far for the time left, unless it ends at once (a finding on start-up).
  while left=$((end - $(date +%s))); [ "$left" -gt 0 ]; do
    started=$(date +%s)
    "$bin" -max_total_time="$left" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$dir/artifacts/" "$dir/work" "$root/fuzz/corpus/$t" >>"$dir/log.txt" 2>&1 &&
      break
    [ $(($(date +%s) - started)) -lt 5 ] && break
  done
  "$bin" -merge=1 -timeout=10 -rss_limit_mb=2048 "$root/fuzz/corpus/$t" "$dir/work" \
    >"$dir/merge.txt" 2>&1
  # Executions summed over the runs; coverage and features from the last status line.
  local execs status findings added
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log.txt" | awk '{s += $1} END {print s + 0}')
  status=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$dir/log.txt" | tail -n 1)
  findings=$(find "$dir/artifacts" -type f | wc -l)
  added=$(grep -Eo 'MERGE-OUTER: [0-9]+ new files' "$dir/merge.txt" | grep -Eo '[0-9]+' | head -n 1)
  echo "$t: $seconds s, $execs executions, ${status:-no coverage line}, corpus $(ls "$dir/work" | wc -l) inputs, $findings findings, ${added:-0} added to fuzz/corpus/$t" \
    >"$dir/summary.txt"
  find "$dir/artifacts" -type f | sed 's/^/  /' >>"$dir/summary.txt"
}

echo "fuzz-long: ${#targets[@]} targets, $seconds s each, $jobs at a time"
running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

failed=0
for t in "${targets[@]}"; do
  cat "$out/$t/summary.txt"
  grep -q '^  ' "$out/$t/summary.txt" && failed=1
done
exit "$failed"
