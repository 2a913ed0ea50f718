# Writes the version header that the programs and their version resources
# include, from the project's version and the state of the git checkout:
#
#   VLX_VERSION_TEXT      "1.1.0", or "1.1.0+dirty" when the working tree
#                         holds changes that are not committed
#   VLX_VERSION_NUMBERS   1,1,0,0 (the resources' numeric fields, never dirty)
#
# The file is rewritten only when its text changes. Included by the top
# CMakeLists.txt at configure time, and run again at every build with
#
#   cmake -DSOURCE_DIR=... -DOUTPUT=.../vlx_version.h -DVERSION=1.1.0 -P version_header.cmake
#
# so that an edit after configuring still marks the programs dirty. Outside a
# git checkout, or without git, the version is the plain one.
cmake_minimum_required(VERSION 3.25)

foreach(variable SOURCE_DIR OUTPUT VERSION)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "version_header.cmake needs -D${variable}")
  endif()
endforeach()
if(NOT VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "version '${VERSION}' is not MAJOR.MINOR.PATCH")
endif()
set(numbers "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},0")

set(text "${VERSION}")
find_program(VLX_GIT git)
if(VLX_GIT AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${VLX_GIT}" -C "${SOURCE_DIR}" status --porcelain
    RESULT_VARIABLE failed OUTPUT_VARIABLE changes ERROR_QUIET)
  if(NOT failed AND NOT changes STREQUAL "")
    set(text "${VERSION}+dirty")
  endif()
endif()

set(header "// Made by cmake/version_header.cmake from the project's version.
#pragma once
#define VLX_VERSION_TEXT \"${text}\"
#define VLX_VERSION_NUMBERS ${numbers}
")
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL header)
  file(WRITE "${OUTPUT}" "${header}")
endif()
