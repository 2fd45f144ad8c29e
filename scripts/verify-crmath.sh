#!/usr/bin/env bash
# The full verification of the correctly rounded math (src/tolvane/crmath): builds
# tolvane-crmath-verify (linux preset) and has tools/crmath/oracle.py check it on every edge
# set, RANDOM random inputs per function (default 10^7) and SLOW inputs of each slow path
# called directly (default 10^6), over JOBS processes (default 2). Prints the oracle's table
# and exits non-zero on any misrounded result, Tanh2 difference or fast-path error above its
# bound. The test command runs a small sample of the same (ctest -R crmath_oracle_sample).
#
# Usage: scripts/verify-crmath.sh [RANDOM [SLOW [SEED]]]
set -euo pipefail
cd "$(dirname "$0")/.."
random=${1:-10000000}
slow=${2:-1000000}
seed=${3:-1}

[ -f build/linux/CMakeCache.txt ] || cmake --preset linux
cmake --build --preset linux --target tolvane-crmath-verify -j "${JOBS:-2}"
start=$(date +%s)
status=0
python3 tools/crmath/oracle.py --program build/linux/bin/tolvane-crmath-verify --random "$random" \
  --slow "$slow" --seed "$seed" --jobs "${JOBS:-2}" --progress || status=$?
echo "verify-crmath: $(($(date +%s) - start)) s"
exit "$status"
