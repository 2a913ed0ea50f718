# Run by cpack after it has made the packages (CPACK_POST_BUILD_SCRIPTS).
# CPack writes a zip's entries in the order in which the file system lists
# its staging folder, which differs between machines; strip-nondeterminism
# (Debian's reproducible-builds tool) puts them in name order and sets every
# time to SOURCE_DATE_EPOCH. The .deb's data is in name order already.
cmake_minimum_required(VERSION 3.25)

set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(epoch STREQUAL "")
  set(epoch "${CPACK_VLX_SOURCE_DATE_EPOCH}")
endif()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.zip$")
    continue()
  endif()
  find_program(VLX_STRIP_NONDETERMINISM strip-nondeterminism)
  if(NOT VLX_STRIP_NONDETERMINISM)
    message(FATAL_ERROR "strip-nondeterminism is not installed (Debian package strip-nondeterminism): "
      "${package} would list its files in this file system's order")
  endif()
  set(time)
  if(NOT epoch STREQUAL "")
    set(time --timestamp ${epoch})
  endif()
  execute_process(COMMAND ${VLX_STRIP_NONDETERMINISM} --type zip ${time} ${package}
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "strip-nondeterminism could not put ${package} in order")
  endif()
endforeach()
