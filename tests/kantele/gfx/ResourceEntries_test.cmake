# The checks kantele_add_resources makes on its files before embedding them, run as a script:
#   cmake -DKANTELE_RESOURCES_MODULE=<cmake/KanteleResources.cmake> -DWORK=<scratch folder>
#         -P ResourceEntries_test.cmake        (from the folder of the fixtures)
# Every bad file list must stop with a message naming the problem.

cmake_minimum_required(VERSION 3.25)
include("${KANTELE_RESOURCES_MODULE}")

set(failures 0)
macro(fail text)
  message("FAILED: ${text}")
  math(EXPR failures "${failures} + 1")
endmacro()

# Accepted names: absolute paths (relative ones from the current folder), upper-cased names,
# types from the last extension, in order.
kantele_resource_entries(OK knob.png "${CMAKE_CURRENT_SOURCE_DIR}/Mixed.Case.jpg" dummy.ttf)
if(OK_ERROR)
  fail("valid files refused: ${OK_ERROR}")
endif()
if(NOT OK_NAMES STREQUAL "KNOB.PNG;MIXED.CASE.JPG;DUMMY.TTF")
  fail("names: ${OK_NAMES}")
endif()
if(NOT OK_TYPES STREQUAL "PNG;JPG;TTF")
  fail("types: ${OK_TYPES}")
endif()
set(here "${CMAKE_CURRENT_SOURCE_DIR}")
if(NOT OK_PATHS STREQUAL "${here}/knob.png;${here}/Mixed.Case.jpg;${here}/dummy.ttf")
  fail("paths: ${OK_PATHS}")
endif()

function(expect_error label pattern)
  kantele_resource_entries(BAD ${ARGN})
  if(NOT BAD_ERROR MATCHES "${pattern}")
    message("FAILED: ${label}: expected an error matching '${pattern}', got '${BAD_ERROR}'")
    set(failed TRUE PARENT_SCOPE)
  endif()
endfunction()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/folder.png")
file(WRITE "${WORK}/noext" "12345678")
file(WRITE "${WORK}/digit.1png" "12345678")
file(WRITE "${WORK}/dash.p-g" "12345678")
file(WRITE "${WORK}/KNOB.PNG" "12345678")
file(WRITE "${WORK}/quo\"te.png" "12345678")
file(WRITE "${WORK}/knöb.png" "12345678")

set(failed FALSE)
expect_error("no files" "no resource files")
expect_error("missing file" "absent.png: no such file" absent.png)
expect_error("folder" "folder.png: no such file" "${WORK}/folder.png")
expect_error("no extension" "noext: the file name has no extension" "${WORK}/noext")
expect_error("extension starting with a digit" "letters and digits" "${WORK}/digit.1png")
expect_error("extension with a dash" "letters and digits" "${WORK}/dash.p-g")
expect_error("same name upper-cased" "also named KNOB.PNG" knob.png "${WORK}/KNOB.PNG")
expect_error("quote in the path" "may not contain" "${WORK}/quo\"te.png")
expect_error("non-ASCII name" "printable ASCII" "${WORK}/knöb.png")
# The first problem is reported even after good files.
expect_error("bad file after good ones" "noext" knob.png dummy.ttf "${WORK}/noext")
if(failed)
  math(EXPR failures "${failures} + 1")
endif()
file(REMOVE_RECURSE "${WORK}")

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} resource entry check(s) failed")
endif()
message("resource entry checks passed")
