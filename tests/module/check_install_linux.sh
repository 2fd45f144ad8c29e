#!/bin/sh
# check_install_linux.sh CMAKE BUILD_DIR WORK_DIR
#
# `cmake --install` puts the plug-in where Linux hosts look for it: with no prefix, or with the
# home folder as prefix, into the installing user's $HOME/.vst; with any other prefix into
# <prefix>/lib/vst. The installed file is the built module.
set -eu
cmake=$1
build=$2
work=$3
rm -rf "$work"
mkdir -p "$work/home" "$work/prefix"
built=$(find "$build/vst" -maxdepth 1 -name 'Tolvane.so')
[ -n "$built" ] || { echo "FAIL: no built module in $build/vst"; exit 1; }
status=0

HOME="$work/home" "$cmake" --install "$build" --prefix "$work/home" >/dev/null
cmp -s "$built" "$work/home/.vst/Tolvane.so" || { echo "FAIL: home prefix did not give \$HOME/.vst"; status=1; }

"$cmake" --install "$build" --prefix "$work/prefix" >/dev/null
cmp -s "$built" "$work/prefix/lib/vst/Tolvane.so" || { echo "FAIL: prefix did not give <prefix>/lib/vst"; status=1; }
[ ! -e "$work/prefix/.vst" ] || { echo "FAIL: a prefix install also wrote .vst"; status=1; }

rm -rf "$work"
[ "$status" -eq 0 ] && echo "install locations ok"
exit "$status"
