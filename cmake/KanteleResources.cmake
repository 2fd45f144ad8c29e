# Embedding artwork and fonts into a module as resources the graphics library looks up by name
# (src/kantele/gfx/Resources.h).
#
#   kantele_add_resources(<target> FILES <file>...)
#
# <target> is an executable, shared or module library (a static library's objects could be left
# out of the final link). Relative <file> paths start at the calling folder. Each file becomes a
# resource named by its upper-cased file name in double quotes ("\"LEDON.PNG\"") and typed by its
# upper-cased extension ("PNG"); a lookup of "ledOn.png" of type "png" finds it. Call it once per
# target with every file; it links the target with kantele_gfx_resources. Editing a file rebuilds
# the module.
#
#   Windows: a generated .rc compiled with windres into an object of the target; a shared or
#            module library also gets a DllMain recording its own module handle.
#   Linux:   a generated source assembling the files in with .incbin and registering its table
#            of them from a static initializer.
#
# Names must be printable ASCII without '"' or '\', at most 258 characters, with an extension
# of letters and digits starting with a letter (it is the resource type); two files may not
# map to the same upper-cased name. Anything else stops the configuration with a message.

include_guard(GLOBAL)

set(KANTELE_RESOURCES_DLLMAIN
  "${CMAKE_CURRENT_LIST_DIR}/../src/kantele/gfx/platform/win/DllMain_win.cpp")
cmake_path(NORMAL_PATH KANTELE_RESOURCES_DLLMAIN)

# The longest file name kept as a resource: quoted, it fits the lookup's 260 characters.
set(KANTELE_RESOURCE_NAME_MAX 258)
# The longest extension (resource type) the lookup handles.
set(KANTELE_RESOURCE_TYPE_MAX 31)

if(WIN32)
  if(CMAKE_RC_COMPILER)
    set(KANTELE_WINDRES "${CMAKE_RC_COMPILER}")
  else()
    find_program(KANTELE_WINDRES NAMES x86_64-w64-mingw32-windres windres REQUIRED)
  endif()
endif()

# The control characters, for a regular expression's character class.
string(ASCII 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 127
       KANTELE_RESOURCES_CONTROL_CHARS)

# kantele_resource_entries(<prefix> <file>...)
# Checks the files as kantele_add_resources takes them and sets, in the caller's scope,
# <prefix>_PATHS (absolute paths), <prefix>_NAMES (upper-cased file names, without quotes) and
# <prefix>_TYPES (upper-cased extensions), all in the order given, or <prefix>_ERROR (the first
# problem found; empty when there is none). Files must exist.
function(kantele_resource_entries prefix)
  set(paths "")
  set(names "")
  set(types "")
  set(error "")
  if(NOT ARGN)
    set(error "no resource files given")
  endif()
  foreach(file IN LISTS ARGN)
    if(error)
      break()
    endif()
    get_filename_component(path "${file}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    get_filename_component(name "${path}" NAME)
    string(LENGTH "${name}" nameLength)
    string(FIND "${name}" "." dot REVERSE)
    # The path is written into a quoted string of the .rc or assembler source.
    if(path MATCHES "[\"\\\\]" OR path MATCHES "[${KANTELE_RESOURCES_CONTROL_CHARS}]")
      set(error "${path}: the path may not contain '\"', '\\' or control characters")
    elseif(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
      set(error "${path}: no such file")
    elseif(NOT name MATCHES "^[ -~]+$")
      set(error "${path}: the file name must be printable ASCII")
    elseif(nameLength GREATER KANTELE_RESOURCE_NAME_MAX)
      set(error "${path}: the file name is longer than ${KANTELE_RESOURCE_NAME_MAX} characters")
    elseif(dot EQUAL -1)
      set(error "${path}: the file name has no extension, and the extension is the resource type")
    else()
      math(EXPR extStart "${dot} + 1")
      string(SUBSTRING "${name}" ${extStart} -1 ext)
      string(LENGTH "${ext}" extLength)
      if(NOT ext MATCHES "^[A-Za-z][A-Za-z0-9]*$" OR extLength GREATER KANTELE_RESOURCE_TYPE_MAX)
        string(CONCAT error "${path}: the extension (the resource type) must be letters and "
                            "digits starting with a letter, at most ${KANTELE_RESOURCE_TYPE_MAX}")
      else()
        string(TOUPPER "${name}" upperName)
        string(TOUPPER "${ext}" upperType)
        if(upperName IN_LIST names)
          set(error "${path}: another file is also named ${upperName} when upper-cased")
        else()
          list(APPEND paths "${path}")
          list(APPEND names "${upperName}")
          list(APPEND types "${upperType}")
        endif()
      endif()
    endif()
  endforeach()
  set(${prefix}_PATHS "${paths}" PARENT_SCOPE)
  set(${prefix}_NAMES "${names}" PARENT_SCOPE)
  set(${prefix}_TYPES "${types}" PARENT_SCOPE)
  set(${prefix}_ERROR "${error}" PARENT_SCOPE)
endfunction()

# Writes `content` to `file` only when it differs, so a new configuration rebuilds nothing.
function(_kantele_write_if_changed file content)
  file(WRITE "${file}.tmp" "${content}")
  configure_file("${file}.tmp" "${file}" COPYONLY)
  file(REMOVE "${file}.tmp")
endfunction()

# The generators below read the checked ARG_PATHS, ARG_NAMES and ARG_TYPES of their caller.

# The .rc text. A quote inside an .rc string is written "". The type is written lower-case:
# windres takes upper-case words such as HTML, ICON or FONT as its own keywords (numeric
# types), and upper-cases a type given as a plain word itself. Every resource is preceded by a
# LANGUAGE line (language neutral), so no line ends in a quoted file name directly followed by
# the next quoted name: windres would join the two strings.
function(_kantele_resources_rc out target)
  set(text "// Generated by kantele_add_resources for ${target}; do not edit.\n")
  foreach(path name type IN ZIP_LISTS ARG_PATHS ARG_NAMES ARG_TYPES)
    string(TOLOWER "${type}" lowerType)
    string(APPEND text "LANGUAGE 0, 0\n\"\"\"${name}\"\"\" ${lowerType} \"${path}\"\n")
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The Linux source: each file's bytes in read-only data (16-byte aligned), followed by their
# count as an 8-byte value, under labels local to the object and unique within it; then the
# table, registered from a static initializer. The labels' names carry the target's name so a
# linker map or debugger shows whose data they are.
function(_kantele_resources_cpp out target)
  string(MAKE_C_IDENTIFIER "${target}" id)
  set(asm "")
  set(decls "")
  set(entries "")
  set(index 0)
  foreach(path name type IN ZIP_LISTS ARG_PATHS ARG_NAMES ARG_TYPES)
    set(label "kantele_resource_${id}_${index}")
    string(APPEND asm
      "    \".balign 16\\n\"\n"
      "    \"${label}:\\n\"\n"
      "    \".incbin \\\"${path}\\\"\\n\"\n"
      "    \"${label}_end:\\n\"\n"
      "    \".balign 8\\n\"\n"
      "    \"${label}_size:\\n\"\n"
      "    \".quad ${label}_end - ${label}\\n\"\n")
    string(APPEND decls
      "__attribute__((visibility(\"hidden\"))) extern const uint8_t ${label}[];\n"
      "__attribute__((visibility(\"hidden\"))) extern const uint64_t ${label}_size;\n")
    string(APPEND entries
      "    {\"\\\"${name}\\\"\", \"${type}\", ${label}, static_cast<size_t>(${label}_size)},\n")
    math(EXPR index "${index} + 1")
  endforeach()
  string(CONCAT text
    "// Generated by kantele_add_resources for ${target}; do not edit.\n"
    "#include <cstddef>\n"
    "#include <cstdint>\n\n"
    "#include \"kantele/gfx/EmbeddedResources.h\"\n"
    "#include \"kantele/gfx/Resources.h\"\n\n"
    "asm(\".pushsection .rodata\\n\"\n"
    "${asm}"
    "    \".popsection\\n\");\n\n"
    "extern \"C\" {\n"
    "${decls}"
    "}\n\n"
    "namespace {\n\n"
    "const kantele::gfx::EmbeddedResource kEntries[] = {\n"
    "${entries}"
    "};\n\n"
    "const kantele::gfx::EmbeddedResourceTable kTable = {\n"
    "    kEntries, sizeof(kEntries) / sizeof(kEntries[0])};\n\n"
    "// Runs after kEntries is filled in (same source, later definition).\n"
    "struct Registration {\n"
    "  Registration() { kantele::gfx::SetResourceModule(&kTable); }\n"
    "} sRegistration;\n\n"
    "}  // namespace\n")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(kantele_add_resources target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "FILES")
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "kantele_add_resources(${target}): unexpected arguments "
                        "'${ARG_UNPARSED_ARGUMENTS}'; "
                        "usage: kantele_add_resources(<target> FILES <file>...)")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "kantele_add_resources: no target named '${target}'")
  endif()
  get_target_property(type ${target} TYPE)
  if(NOT type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY)$")
    message(FATAL_ERROR "kantele_add_resources(${target}): a ${type} cannot carry resources; "
                        "use the executable or shared/module library")
  endif()
  get_target_property(done ${target} KANTELE_RESOURCES)
  if(done)
    message(FATAL_ERROR "kantele_add_resources(${target}): called twice; "
                        "list every file in one call")
  endif()

  kantele_resource_entries(ARG ${ARG_FILES})
  if(ARG_ERROR)
    message(FATAL_ERROR "kantele_add_resources(${target}): ${ARG_ERROR}")
  endif()
  set_target_properties(${target} PROPERTIES KANTELE_RESOURCES "${ARG_NAMES}")
  target_link_libraries(${target} PRIVATE kantele_gfx_resources)

  set(base "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources")
  if(WIN32)
    _kantele_resources_rc(text ${target})
    _kantele_write_if_changed("${base}.rc" "${text}")
    add_custom_command(OUTPUT "${base}.rc.o"
      COMMAND "${KANTELE_WINDRES}" -O coff -i "${base}.rc" -o "${base}.rc.o"
      DEPENDS "${base}.rc" ${ARG_PATHS}
      COMMENT "Compiling the resources of ${target}"
      VERBATIM)
    set_source_files_properties("${base}.rc.o" PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
    target_sources(${target} PRIVATE "${base}.rc.o")
    if(type MATCHES "LIBRARY")
      target_sources(${target} PRIVATE "${KANTELE_RESOURCES_DLLMAIN}")
    endif()
  else()
    _kantele_resources_cpp(text ${target})
    _kantele_write_if_changed("${base}.cpp" "${text}")
    # The compiler's dependency list does not name .incbin files.
    set_source_files_properties("${base}.cpp" PROPERTIES OBJECT_DEPENDS "${ARG_PATHS}")
    target_sources(${target} PRIVATE "${base}.cpp")
  endif()
endfunction()
