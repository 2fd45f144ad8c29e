#!/bin/sh
# check_install_linux.sh CMAKE BUILD_DIR WORK_DIR
#
# `cmake --install` puts the plug-ins where Linux hosts look for them: with no prefix, or with
# the home folder as prefix, into the installing user's $HOME/.vst (Tolvane.so), $HOME/.vst3
# (the Tolvane.vst3 bundle) and $HOME/.lv2 (the Tolvane.lv2 bundle); with any other prefix into
# <prefix>/lib/vst, <prefix>/lib/vst3 and <prefix>/lib/lv2. The installed files are the built
# ones.
set -eu
cmake=$1
build=$2
work=$3
rm -rf "$work"
mkdir -p "$work/home" "$work/prefix"
built=$(find "$build/vst" -maxdepth 1 -name 'Tolvane.so')
[ -n "$built" ] || { echo "FAIL: no built module in $build/vst"; exit 1; }
built3="$build/vst3/Tolvane.vst3/Contents/x86_64-linux/Tolvane.so"
[ -f "$built3" ] || { echo "FAIL: no built bundle in $build/vst3"; exit 1; }
built_lv2="$build/lv2/Tolvane.lv2"
lv2_files="Tolvane.so manifest.ttl Tolvane.ttl"
for f in $lv2_files; do
  [ -f "$built_lv2/$f" ] || { echo "FAIL: no $f in $built_lv2"; exit 1; }
done
status=0
# same_lv2 DIR WHAT: the LV2 bundle's three files in DIR/Tolvane.lv2 are the built ones.
same_lv2() {
  for f in $lv2_files; do
    cmp -s "$built_lv2/$f" "$1/Tolvane.lv2/$f" || { echo "FAIL: $2 did not give $f in $1"; status=1; }
  done
}

HOME="$work/home" "$cmake" --install "$build" --prefix "$work/home" >/dev/null
cmp -s "$built" "$work/home/.vst/Tolvane.so" || { echo "FAIL: home prefix did not give \$HOME/.vst"; status=1; }
cmp -s "$built3" "$work/home/.vst3/Tolvane.vst3/Contents/x86_64-linux/Tolvane.so" || { echo "FAIL: home prefix did not give \$HOME/.vst3"; status=1; }
same_lv2 "$work/home/.lv2" "home prefix"

"$cmake" --install "$build" --prefix "$work/prefix" >/dev/null
cmp -s "$built" "$work/prefix/lib/vst/Tolvane.so" || { echo "FAIL: prefix did not give <prefix>/lib/vst"; status=1; }
cmp -s "$built3" "$work/prefix/lib/vst3/Tolvane.vst3/Contents/x86_64-linux/Tolvane.so" || { echo "FAIL: prefix did not give <prefix>/lib/vst3"; status=1; }
same_lv2 "$work/prefix/lib/lv2" prefix
[ ! -e "$work/prefix/.vst" ] && [ ! -e "$work/prefix/.lv2" ] || { echo "FAIL: a prefix install also wrote .vst or .lv2"; status=1; }

rm -rf "$work"
[ "$status" -eq 0 ] && echo "install locations ok"
exit "$status"
