#!/usr/bin/env bash
# Builds and tests everything: the sources' formatting, the native Linux build, a sanitizer
# build of the tests (address and undefined behaviour), a ThreadSanitizer build of the
# concurrency tests, short runs of the fuzz targets, and
# the Windows x86-64 cross build with its tests run under Wine. Exits non-zero if any step fails.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)

./scripts/install-deps.sh || exit 1

failed=()
summary=()
step() {  # step NAME COMMAND...
  local name=$1
  shift
  echo
  echo "==== $name"
  if "$@"; then summary+=("ok      $name"); else summary+=("FAILED  $name"); failed+=("$name"); fi
}

run_ctest() {  # run_ctest PRESET LOGNAME
  ctest --preset "$1" -j "$jobs" 2>&1 | tee "build/$2-ctest.log"
  local rc=${PIPESTATUS[0]}
  summary+=("        $1: $(grep -E 'tests passed|tests failed' "build/$2-ctest.log" | tail -n 1)")
  return "$rc"
}

start=$(date +%s)
mkdir -p build && rm -f build/*-ctest.log

# An X display of the script's own (Xvfb) for the editors' windows: the Linux editor's tests
# open theirs on it, and Wine's under the Windows tests. Wine and the display are stopped
# however the script ends.
source scripts/wine-env.sh
trap wine_stop EXIT
step "display (xvfb)" xvfb_start
export DISPLAY="$TOLVANE_XVFB_DISPLAY"

# The sources as clang-format writes them (scripts/check-format.sh --fix rewrites them).
step "format check" scripts/check-format.sh

# Native build and tests.
step "linux configure" cmake --preset linux
step "linux build" cmake --build --preset linux -j "$jobs"
step "linux tests" run_ctest linux linux

# Sanitizer build of the unit tests.
step "sanitize configure" cmake --preset linux-sanitize
step "sanitize build" cmake --build --preset linux-sanitize -j "$jobs"
step "sanitize tests" run_ctest linux-sanitize sanitize

# ThreadSanitizer build of the tests that start threads (queues, timers).
step "tsan configure" cmake --preset linux-tsan
step "tsan build" cmake --build --preset linux-tsan -j "$jobs"
step "tsan tests" run_ctest linux-tsan tsan

# Fuzz targets (clang, libFuzzer), each for a short smoke run.
step "fuzz configure" cmake --preset linux-fuzz
step "fuzz build" cmake --build --preset linux-fuzz -j "$jobs"
step "fuzz smoke runs" run_ctest linux-fuzz fuzz

# Windows cross build, tests under Wine on the same display.
step "windows configure" cmake --preset windows
step "windows build" cmake --build --preset windows -j "$jobs"
step "wine and display" wine_prepare
step "windows tests (wine)" run_ctest windows windows
wine_stop

echo
echo "==== summary ($(($(date +%s) - start)) s)"
printf '%s\n' "${summary[@]}"
# One closing line over every test run: ctest's "N% tests passed, F tests failed out of T".
totals=$(cat build/*-ctest.log 2>/dev/null | sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' |
  awk '{f += $1; t += $2} END {printf "%d passed, %d failed", t - f, f}')
echo "tests: $totals"
if [ "${#failed[@]}" -ne 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all steps passed"
