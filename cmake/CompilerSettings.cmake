# Flags shared by every target.
#
# Floating point is bit-exact by contract: the DSP must give the same bits as
# its reference computation, so multiply-add contraction is off and no
# fast-math option may ever be enabled (the DSP sources refuse to build with it).

add_library(kantele_build_flags INTERFACE)
target_compile_options(kantele_build_flags INTERFACE
  -Wall -Wextra
  -ffp-contract=off
  -fno-fast-math)

if(WIN32)
  # One self-contained DLL/EXE: no libstdc++, libgcc or winpthread DLLs at run time.
  target_link_options(kantele_build_flags INTERFACE -static -static-libgcc -static-libstdc++)
  target_compile_definitions(kantele_build_flags INTERFACE NOMINMAX WIN32_LEAN_AND_MEAN)
endif()

if(TOLVANE_SANITIZE)
  target_compile_options(kantele_build_flags INTERFACE
    -fsanitize=${TOLVANE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(kantele_build_flags INTERFACE -fsanitize=${TOLVANE_SANITIZE})
endif()

if(TOLVANE_BUILD_FUZZ)
  # Coverage instrumentation for every library the fuzz targets call into, so
  # the fuzzer is guided by the code under test and not only by the harness.
  target_compile_options(kantele_build_flags INTERFACE -fsanitize=fuzzer-no-link)
endif()
