#!/usr/bin/env bash
# The main job: installs what is needed, builds the Tolvane plug-in (Tolvane.so) and the
# command-line host tolvane-render, then renders the built-in demo material through the built
# plug-in, exactly as a host loads it. Prints where the result went.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target tolvane_vst2 tolvane-render -j "$(nproc)"

out=build/demo
mkdir -p "$out"
render=build/linux/bin/tolvane-render
echo
# The same material with the effect bypassed, for comparison.
"$render" --seed 1 --set Bypass=1 "$out/tolvane-demo-dry.wav" >/dev/null
"$render" --seed 1 "$out/tolvane-demo.wav"
echo
echo "demo: $(pwd)/$out/tolvane-demo.wav (processed by Tolvane at its defaults)"
echo "      $(pwd)/$out/tolvane-demo-dry.wav (the same material, bypassed)"
