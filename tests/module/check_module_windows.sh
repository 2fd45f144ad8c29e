#!/bin/sh
# check_module_windows.sh MODULE EXPORTS OBJDUMP
#
# The Windows DLL's interface to the system, read from its PE headers:
#  - it imports exactly the system DLLs below, which every Windows installation has: the C
#    runtime (msvcrt), the kernel, windows and drawing (user32, gdi32), OpenGL (opengl32) for
#    the editor, the common controls (tooltips), the common dialogs (file and colour choosers),
#    the shell (dropped files, folders, opening documents) and COM (the folder chooser).
#    No libstdc++, libgcc or libwinpthread DLL: the runtime is linked in statically. A DLL
#    added or dropped is a change to review, so the list is exact;
#  - its export table names exactly EXPORTS (sorted, separated by spaces): "VSTPluginMain main",
#    both at one address, for the VST2 DLL; "ExitDll GetPluginFactory InitDll" for VST3.
set -eu
module=$1
expected_exports="$2 "
objdump=$3
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

expected="comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll opengl32.dll shell32.dll user32.dll"

[ -f "$module" ] || { echo "FAIL: no module at $module"; exit 1; }
headers=$("$objdump" -p "$module")

imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr 'A-Z' 'a-z' | tr -d '\r' |
  LC_ALL=C sort -u | tr '\n' ' ' | sed 's/ $//')
[ -n "$imports" ] || fail "no import table found"
for dll in $imports; do
  case " $expected " in
    *" $dll "*) ;;
    *) fail "imports $dll, which is not in the list" ;;
  esac
done
for dll in $expected; do
  case " $imports " in
    *" $dll "*) ;;
    *) fail "does not import $dll any more: update the list" ;;
  esac
done

# The name pointer table lists one "[ordinal] name" line per exported name.
exports=$(echo "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | tr -d '\r' | LC_ALL=C sort | tr '\n' ' ')
[ "$exports" = "$expected_exports" ] || fail "exports: $exports(expected $expected_exports)"
if [ "$expected_exports" = "VSTPluginMain main " ]; then
  # The export address table: both names must point at one entry (one RVA).
  rvas=$(echo "$headers" | sed -n '/Export Address Table/,/\[Ordinal\/Name Pointer\]/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*+base\[[[:space:]]*[0-9]*\][[:space:]]*\([0-9a-fA-F]*\).*/\1/p' | sort -u)
  [ "$(echo "$rvas" | wc -w)" -eq 1 ] || fail "export addresses: $(echo $rvas)"
fi

[ "$status" -eq 0 ] && echo "ok: imports [$imports], exports [$exports]"
exit "$status"
