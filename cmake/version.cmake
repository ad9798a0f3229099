# Writes the version header: the one place Morvane's version is made.
# The product version is 2.91; each build counts on from there as 2.91.N,
# N being the number of commits (0 outside a git checkout). The header is only
# rewritten when the number changes, so an unchanged tree rebuilds nothing.
#   cmake -DSOURCE_DIR=<repo> -DOUT=<header> -P version.cmake
set(MORVANE_VERSION_MAJOR 2)
set(MORVANE_VERSION_MINOR 91)

set(build_number 0)
find_program(GIT_EXE git)
if(GIT_EXE)
  execute_process(COMMAND ${GIT_EXE} rev-list --count HEAD WORKING_DIRECTORY ${SOURCE_DIR}
                  OUTPUT_VARIABLE count OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc ERROR_QUIET)
  if(rc EQUAL 0 AND count MATCHES "^[0-9]+$")
    set(build_number ${count})
  endif()
endif()

set(text "// Made by cmake/version.cmake; do not edit.
#pragma once
#define MORVANE_VERSION_MAJOR ${MORVANE_VERSION_MAJOR}
#define MORVANE_VERSION_MINOR ${MORVANE_VERSION_MINOR}
#define MORVANE_VERSION_BUILD ${build_number}
#define MORVANE_PRODUCT_VERSION \"${MORVANE_VERSION_MAJOR}.${MORVANE_VERSION_MINOR}\"
#define MORVANE_VERSION_TEXT \"${MORVANE_VERSION_MAJOR}.${MORVANE_VERSION_MINOR}.${build_number}\"
")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE ${OUT} "${text}")
endif()
