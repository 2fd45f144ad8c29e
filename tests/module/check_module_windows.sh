#!/bin/sh
# check_module_windows.sh MODULE OBJDUMP
#
# The Windows DLL's interface to the system, read from its PE headers:
#  - it imports only DLLs every Windows installation has (no libstdc++, libgcc or
#    libwinpthread DLL: the runtime is linked in statically);
#  - its export table names exactly VSTPluginMain and main, both at one address.
set -eu
module=$1
objdump=$2
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

[ -f "$module" ] || { echo "FAIL: no module at $module"; exit 1; }
headers=$("$objdump" -p "$module")

imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr 'A-Z' 'a-z' | tr -d '\r')
[ -n "$imports" ] || fail "no import table found"
for dll in $imports; do
  case "$dll" in
    kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | msvcrt.dll | ucrtbase.dll | \
      api-ms-win-*.dll | ole32.dll | oleaut32.dll | shell32.dll | shlwapi.dll | comctl32.dll | \
      comdlg32.dll | opengl32.dll | winmm.dll | imm32.dll | uxtheme.dll | dwmapi.dll | \
      version.dll | ws2_32.dll | bcrypt.dll) ;;
    *) fail "imports $dll" ;;
  esac
done

# The name pointer table lists one "[ordinal] name" line per exported name.
exports=$(echo "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | tr -d '\r' | LC_ALL=C sort | tr '\n' ' ')
[ "$exports" = "VSTPluginMain main " ] || fail "exports: $exports(expected VSTPluginMain main)"
# The export address table: both names must point at one entry (one RVA).
rvas=$(echo "$headers" | sed -n '/Export Address Table/,/\[Ordinal\/Name Pointer\]/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*+base\[[[:space:]]*[0-9]*\][[:space:]]*\([0-9a-fA-F]*\).*/\1/p' | sort -u)
[ "$(echo "$rvas" | wc -w)" -eq 1 ] || fail "export addresses: $(echo $rvas)"

[ "$status" -eq 0 ] && echo "ok: imports [$(echo $imports)], exports [$exports] at one address"
exit "$status"
