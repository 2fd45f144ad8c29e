#!/usr/bin/env bash
# The main job for now: installs what is needed, builds Tolvane natively and
# measures its signal processing against the transcendental floor.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target tolvane_dsp_bench -j "$(nproc)"
exec build/linux/bench/tolvane_dsp_bench --benchmark_min_time=0.2 \
  --benchmark_filter='block:512' --benchmark_counters_tabular=true
