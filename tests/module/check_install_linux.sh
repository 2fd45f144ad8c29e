#!/bin/sh
# check_install_linux.sh CMAKE BUILD_DIR WORK_DIR
#
# `cmake --install` puts the plug-ins where Linux hosts look for them: with no prefix, or with
# the home folder as prefix, into the installing user's $HOME/.vst (Tolvane.so) and $HOME/.vst3
# (the Tolvane.vst3 bundle); with any other prefix into <prefix>/lib/vst and <prefix>/lib/vst3.
# The installed files are the built modules.
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
status=0

HOME="$work/home" "$cmake" --install "$build" --prefix "$work/home" >/dev/null
cmp -s "$built" "$work/home/.vst/Tolvane.so" || { echo "FAIL: home prefix did not give \$HOME/.vst"; status=1; }
cmp -s "$built3" "$work/home/.vst3/Tolvane.vst3/Contents/x86_64-linux/Tolvane.so" || { echo "FAIL: home prefix did not give \$HOME/.vst3"; status=1; }

"$cmake" --install "$build" --prefix "$work/prefix" >/dev/null
cmp -s "$built" "$work/prefix/lib/vst/Tolvane.so" || { echo "FAIL: prefix did not give <prefix>/lib/vst"; status=1; }
cmp -s "$built3" "$work/prefix/lib/vst3/Tolvane.vst3/Contents/x86_64-linux/Tolvane.so" || { echo "FAIL: prefix did not give <prefix>/lib/vst3"; status=1; }
[ ! -e "$work/prefix/.vst" ] || { echo "FAIL: a prefix install also wrote .vst"; status=1; }

rm -rf "$work"
[ "$status" -eq 0 ] && echo "install locations ok"
exit "$status"
