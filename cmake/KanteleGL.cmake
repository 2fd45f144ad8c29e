# OpenGL loading and NanoVG for the editor's drawing back end.
#
# kantele_glad:   OpenGL 2.1 compatibility entry points (plus framebuffer objects), loaded at
#                 run time, and the window-system API of the platform (EGL and GLX on Linux,
#                 WGL on Windows). Generated at build time by the glad 2 generator.
# kantele_nanovg: NanoVG with its OpenGL 2 renderer and framebuffer helpers, compiled from the
#                 sources that Debian's dpf-source ships, against the current stb headers of
#                 libstb-dev rather than the older copies that sit beside them.
#
# Both are found on the build machine, also when cross-compiling: they are sources and a
# generator, not libraries of the target.

find_path(KANTELE_NANOVG_SOURCE_DIR nanovg.c
  PATHS /usr/share/dpf/dgl/src/nanovg
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_path(KANTELE_STB_INCLUDE_DIR stb_image.h
  PATHS /usr/include/stb
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_program(KANTELE_GLAD_EXECUTABLE glad PATHS /usr/bin NO_CMAKE_FIND_ROOT_PATH)

if(NOT KANTELE_NANOVG_SOURCE_DIR)
  message(FATAL_ERROR "NanoVG sources not found (/usr/share/dpf/dgl/src/nanovg): "
                      "install the Debian package dpf-source (scripts/install-deps.sh).")
endif()
if(NOT KANTELE_STB_INCLUDE_DIR)
  message(FATAL_ERROR "stb headers not found (/usr/include/stb): "
                      "install the Debian package libstb-dev (scripts/install-deps.sh).")
endif()
if(NOT KANTELE_GLAD_EXECUTABLE)
  message(FATAL_ERROR "The glad 2 generator was not found: "
                      "install the Debian package python3-glad (scripts/install-deps.sh).")
endif()

# ---- glad, generated into the build tree.
set(KANTELE_GLAD_DIR ${PROJECT_BINARY_DIR}/generated/glad)
if(WIN32)
  set(KANTELE_GLAD_APIS "gl:compatibility=2.1,wgl=1.0")
  set(KANTELE_GLAD_EXTENSIONS
      "GL_ARB_framebuffer_object,GL_EXT_framebuffer_object,WGL_ARB_create_context,WGL_ARB_create_context_profile,WGL_ARB_pixel_format,WGL_EXT_swap_control")
  set(KANTELE_GLAD_SOURCES ${KANTELE_GLAD_DIR}/src/gl.c ${KANTELE_GLAD_DIR}/src/wgl.c)
else()
  set(KANTELE_GLAD_APIS "gl:compatibility=2.1,egl=1.5,glx=1.4")
  set(KANTELE_GLAD_EXTENSIONS
      "GL_ARB_framebuffer_object,GL_EXT_framebuffer_object,EGL_EXT_platform_base,EGL_MESA_platform_surfaceless,EGL_KHR_surfaceless_context,EGL_KHR_create_context,GLX_ARB_create_context,GLX_ARB_create_context_profile")
  set(KANTELE_GLAD_SOURCES ${KANTELE_GLAD_DIR}/src/gl.c ${KANTELE_GLAD_DIR}/src/egl.c
                           ${KANTELE_GLAD_DIR}/src/glx.c)
endif()
# --reproducible keeps the generator off the network and its output stable.
add_custom_command(
  OUTPUT ${KANTELE_GLAD_SOURCES}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KANTELE_GLAD_DIR}
  COMMAND ${KANTELE_GLAD_EXECUTABLE} --quiet --reproducible --api ${KANTELE_GLAD_APIS}
          --extensions ${KANTELE_GLAD_EXTENSIONS} --out-path ${KANTELE_GLAD_DIR} c --loader --alias
  COMMENT "Generating the OpenGL loader (glad)"
  VERBATIM)
add_library(kantele_glad STATIC ${KANTELE_GLAD_SOURCES})
target_include_directories(kantele_glad SYSTEM PUBLIC ${KANTELE_GLAD_DIR}/include)
set_target_properties(kantele_glad PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)
target_compile_options(kantele_glad PRIVATE -w)
if(WIN32)
  target_link_libraries(kantele_glad PUBLIC opengl32 gdi32)
else()
  target_link_libraries(kantele_glad PUBLIC ${CMAKE_DL_LIBS})
endif()
if(TOLVANE_SANITIZE OR TOLVANE_BUILD_FUZZ)
  target_link_libraries(kantele_glad PRIVATE kantele_build_flags)
endif()

# ---- NanoVG: only the files it needs are copied, so its quoted stb includes find libstb-dev.
set(KANTELE_NANOVG_DIR ${PROJECT_BINARY_DIR}/generated/nanovg)
foreach(f nanovg.c nanovg.h fontstash.h nanovg_gl.h nanovg_gl_utils.h LICENSE.txt)
  configure_file(${KANTELE_NANOVG_SOURCE_DIR}/${f} ${KANTELE_NANOVG_DIR}/${f} COPYONLY)
endforeach()
add_library(kantele_nanovg STATIC
  ${PROJECT_SOURCE_DIR}/src/kantele/gfx/nanovg/NanoVG.c
  ${PROJECT_SOURCE_DIR}/src/kantele/gfx/nanovg/NanoVGGL2.c)
target_include_directories(kantele_nanovg SYSTEM PUBLIC ${KANTELE_NANOVG_DIR})
target_include_directories(kantele_nanovg SYSTEM PRIVATE ${KANTELE_STB_INCLUDE_DIR})
target_compile_definitions(kantele_nanovg PRIVATE STB_IMAGE_STATIC STBTT_STATIC)
set_target_properties(kantele_nanovg PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)
target_compile_options(kantele_nanovg PRIVATE -w -ffp-contract=off)
target_link_libraries(kantele_nanovg PUBLIC kantele_glad)
if(NOT WIN32)
  target_link_libraries(kantele_nanovg PUBLIC m)
endif()
if(TOLVANE_SANITIZE OR TOLVANE_BUILD_FUZZ)
  target_link_libraries(kantele_nanovg PRIVATE kantele_build_flags)
endif()
