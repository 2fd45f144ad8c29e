#!/bin/sh
# check_module_linux.sh MODULE EXPORTS NM READELF [SANITIZER_RUNTIME...]
#
# The Linux module's interface to the system, as the dynamic linker sees it:
#  - it exports exactly EXPORTS (names sorted, separated by spaces): "VSTPluginMain main", both
#    at one address, for the VST2 module; "GetPluginFactory ModuleEntry ModuleExit" for VST3;
#    "lv2_descriptor lv2ui_descriptor" for LV2;
#  - it needs only libc, libm, libstdc++, libgcc and Xlib (libX11, for the editor's window;
#    OpenGL is loaded at run time) and, in a sanitizer build, the runtimes named on the
#    command line;
#  - every symbol it leaves undefined carries a version of one of those libraries (GLIBC_ for
#    libc and libm, GLIBCXX_ and CXXABI_ for libstdc++, GCC_ for libgcc) or is one that Xlib
#    defines (Xlib's symbols carry no version); weak references the loader may leave
#    unresolved do not count. In a sanitizer build a symbol may instead be one that a named
#    runtime defines.
set -eu
module=$1
expected_exports="$2 "
nm=$3
readelf=$4
shift 4
sanitizer_runtimes="$*"
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

[ -f "$module" ] || { echo "FAIL: no module at $module"; exit 1; }

exports=$("$nm" -D --defined-only "$module" | awk '{print $NF}' | LC_ALL=C sort | tr '\n' ' ')
[ "$exports" = "$expected_exports" ] || fail "exports: $exports(expected $expected_exports)"
if [ "$expected_exports" = "VSTPluginMain main " ]; then
  addresses=$("$nm" -D --defined-only "$module" | awk '{print $1}' | sort -u | wc -l)
  [ "$addresses" -eq 1 ] || fail "VSTPluginMain and main are $addresses different addresses"
fi

allowed="libc.so.6 libm.so.6 libstdc++.so.6 libgcc_s.so.1 ld-linux-x86-64.so.2 libX11.so.6 $sanitizer_runtimes"
needed=$("$readelf" -d "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for lib in $needed; do
  case " $allowed " in
    *" $lib "*) ;;
    *) fail "needs $lib" ;;
  esac
done

# The symbols Xlib and the sanitizer runtimes define. A sanitizer build binds its interceptors (memory
# allocation, string functions, locks) to them, unversioned.
runtime_symbols=""
for runtime in libX11.so.6 $sanitizer_runtimes; do
  path=$(ldd "$module" | awk -v lib="$runtime" '$1 == lib {print $3}')
  [ -n "$path" ] || { fail "runtime library $runtime not found"; continue; }
  runtime_symbols="$runtime_symbols $("$nm" -D --defined-only "$path" | awk '{print $NF}' | tr '\n' ' ')"
done

undefined=$("$nm" -D --undefined-only "$module" | awk '$1 == "U" {print $2}')
for symbol in $undefined; do
  case "$symbol" in
    *@GLIBC_* | *@GLIBCXX_* | *@CXXABI_* | *@GCC_*) ;;
    *)
      case " $runtime_symbols " in
        *" $symbol "*) ;;
        *) fail "undefined symbol $symbol" ;;
      esac
      ;;
  esac
done

[ "$status" -eq 0 ] && echo "ok: exports [$exports], needs [$(echo $needed)], $(echo "$undefined" | wc -w) undefined symbols all from them"
exit "$status"
