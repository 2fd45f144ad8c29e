#!/usr/bin/env bash
# A real host, headless: Ardour 7 loads the plug-in just built the way a user's Ardour would
# (scanned from a plug-in folder), builds sessions with a deterministic noise source feeding
# it, sets its parameters, saves, loads again and renders. Fails unless Ardour shows the full
# parameter names in order, the values survive saving and loading, the render with Bypass on
# equals the render without the plug-in sample for sample, and the render at the defaults is
# finite, not silent and near the input's level.
#
#   host_test.sh FORMAT PLUGIN
#     FORMAT  vst2 (PLUGIN: the .so)
#
# A format is a case below: how Ardour finds the plug-in, its Ardour plug-in type and name.
# Everything Ardour writes goes to a folder of its own (its own HOME), removed at the end.
set -euo pipefail
if [ "$#" -ne 2 ]; then
  echo "usage: $0 FORMAT PLUGIN" >&2
  exit 2
fi
format=$1
plugin=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
here=$(cd "$(dirname "$0")" && pwd)
for tool in ardour7-lua ardour7-export python3; do
  command -v "$tool" >/dev/null || { echo "host test: $tool is missing (package ardour)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-ardour.XXXXXX")
trap 'rm -rf "$work"' EXIT
export HOME="$work/home"
mkdir -p "$HOME/.config/ardour7/scripts" "$work/plugins" "$work/sessions"
cp "$here/test_noise.lua" "$HOME/.config/ardour7/scripts/"
export LD_LIBRARY_PATH="/usr/lib/ardour7${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"

case "$format" in
  vst2)
    # Ardour takes a scanner cache entry only when it is newer than the module, to the second.
    cp "$plugin" "$work/plugins/"
    touch -d "@$(($(date +%s) - 60))" "$work/plugins/$(basename "$plugin")"
    export LXVST_PATH="$work/plugins"
    /usr/lib/ardour7/ardour-vst-scanner -q -f "$work/plugins/$(basename "$plugin")"
    type=LXVST
    name=Tolvane
    ;;
  *)
    echo "host test: unknown format $format" >&2
    exit 2
    ;;
esac

echo "== sessions ($format)"
TV_DIR="$work/sessions" TV_TYPE="$type" TV_PLUGIN="$name" \
  TV_NAMES="Input Gain|Wet|Tame|React|Bypass|Output Gain|Bias" \
  timeout 120 ardour7-lua "$here/sessions.lua" >"$work/sessions.log" 2>&1 || true
grep -E '^(name|value|FAIL) |^SESSIONS OK' "$work/sessions.log" || true
if grep -q '^FAIL' "$work/sessions.log" || ! grep -q '^SESSIONS OK' "$work/sessions.log"; then
  echo "host test: the sessions failed; Ardour said:" >&2
  cat "$work/sessions.log" >&2
  exit 1
fi

echo "== renders"
for session in dry bypassed defaults; do
  python3 "$here/session_tools.py" range "$work/sessions/$session/$session.ardour" 2
  if ! timeout 120 ardour7-export -b float -o "$work/$session.wav" "$work/sessions/$session" \
       "$session" >"$work/export-$session.log" 2>&1 || [ ! -s "$work/$session.wav" ]; then
    echo "host test: exporting $session failed:" >&2
    cat "$work/export-$session.log" >&2
    exit 1
  fi
done
python3 "$here/session_tools.py" check "$work/dry.wav" "$work/bypassed.wav" "$work/defaults.wav"
