# What makes a build a release: one version for every program, and the same
# bytes from the same commit wherever and whenever it is built.
#
# The version is the project's (project(... VERSION)). vlx_version.h carries
# it to C++ and to the version resources; it is checked again at every build,
# so that a working tree changed since configuring is named "+dirty".

set(VLX_VERSION_FOLDER "${CMAKE_BINARY_DIR}/version")
set(VLX_VERSION_HEADER "${VLX_VERSION_FOLDER}/vlx_version.h")
set(version_arguments -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUTPUT=${VLX_VERSION_HEADER}
  -DVERSION=${PROJECT_VERSION})
execute_process(COMMAND ${CMAKE_COMMAND} ${version_arguments}
  -P ${PROJECT_SOURCE_DIR}/cmake/version_header.cmake COMMAND_ERROR_IS_FATAL ANY)
add_custom_target(vlx_version
  COMMAND ${CMAKE_COMMAND} ${version_arguments} -P ${PROJECT_SOURCE_DIR}/cmake/version_header.cmake
  BYPRODUCTS ${VLX_VERSION_HEADER}
  COMMENT "Checking the version's dirty mark"
  VERBATIM)

# The time that package files carry: SOURCE_DATE_EPOCH when it is set, else
# the time of the commit checked out; outside a checkout, none (the packer's
# own choice).
set(VLX_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
if(VLX_SOURCE_DATE_EPOCH STREQUAL "")
  find_program(VLX_GIT git)
  if(VLX_GIT AND EXISTS "${PROJECT_SOURCE_DIR}/.git")
    execute_process(COMMAND ${VLX_GIT} -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
      OUTPUT_VARIABLE VLX_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
endif()
if(NOT VLX_SOURCE_DATE_EPOCH MATCHES "^[0-9]*$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH '${VLX_SOURCE_DATE_EPOCH}' is not a number of seconds")
endif()

# No path of the checkout or the build folder in what is compiled (__FILE__,
# debug information): both read as ".".
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
  "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=.>")
if(WIN32)
  # No link time in the PE headers (the file header's and the export
  # directory's time stamps are 0).
  add_link_options(-Wl,--no-insert-timestamp)
endif()

# Gives a Windows program or library a version resource with this version:
#   vlx_version_resource(TARGET "File description" VFT_APP|VFT_DLL)
function(vlx_version_resource target description type)
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  get_target_property(prefix ${target} PREFIX)
  if(NOT prefix)
    set(prefix "")
  endif()
  set(VLX_RESOURCE_NAME "${prefix}${output_name}")
  if(type STREQUAL "VFT_DLL")
    set(VLX_RESOURCE_FILE "${VLX_RESOURCE_NAME}.dll")
  else()
    set(VLX_RESOURCE_FILE "${VLX_RESOURCE_NAME}.exe")
  endif()
  set(VLX_RESOURCE_DESCRIPTION "${description}")
  set(VLX_RESOURCE_TYPE "${type}")
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version_resource.rc.in ${rc} @ONLY)
  vlx_uses_version(${target})
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${VLX_VERSION_HEADER})
endfunction()

# Lets a target include vlx_version.h, kept up to date before it is built.
function(vlx_uses_version target)
  add_dependencies(${target} vlx_version)
  target_include_directories(${target} PRIVATE ${VLX_VERSION_FOLDER})
endfunction()
