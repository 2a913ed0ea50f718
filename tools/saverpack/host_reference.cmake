# Fills the folder in which the Windows build checks saverpack.exe against the
# Linux build's saverpack (run at build time, with cmake -P):
#   installer.exe, impborl.dll  the 32-bit product files that both pack
#   reference.exe               what the Linux saverpack writes from DESCRIPTION
#   saverpack                   a copy of the Linux saverpack, for scripts that
#                               run where build/host is not (the emulated machine)
#   missing.txt                 why any of these could not be made; the tests
#                               that need them fail with its text
#
#   cmake -DHOST_SAVERPACK=... -DINSTALLER=... -DIMPBORL=... -DDESCRIPTION=...
#         -DFOLDER=... -P host_reference.cmake
foreach(variable HOST_SAVERPACK INSTALLER IMPBORL DESCRIPTION FOLDER)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "host_reference.cmake needs -D${variable}")
  endif()
endforeach()

file(MAKE_DIRECTORY "${FOLDER}")
file(REMOVE "${FOLDER}/reference.exe" "${FOLDER}/saverpack" "${FOLDER}/missing.txt")
set(missing)
foreach(product INSTALLER IMPBORL)
  get_filename_component(name "${${product}}" NAME)
  if(EXISTS "${${product}}")
    file(COPY_FILE "${${product}}" "${FOLDER}/${name}" ONLY_IF_DIFFERENT)
  else()
    string(APPEND missing "no ${${product}}: build the win32 preset first\n")
  endif()
endforeach()
if(NOT EXISTS "${HOST_SAVERPACK}")
  string(APPEND missing "no Linux saverpack at ${HOST_SAVERPACK}: build the host preset first "
    "(or set VLX_HOST_SAVERPACK)\n")
else()
  file(COPY "${HOST_SAVERPACK}" DESTINATION "${FOLDER}")
  if(NOT missing)
    execute_process(
      COMMAND "${HOST_SAVERPACK}" build "${DESCRIPTION}" -o "${FOLDER}/reference.exe"
        --stub "${INSTALLER}" --library "${IMPBORL}"
      RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
      string(APPEND missing "${HOST_SAVERPACK} build ${DESCRIPTION} failed (${result}): ${errors}")
    endif()
  endif()
endif()
if(missing)
  file(WRITE "${FOLDER}/missing.txt" "${missing}")
  message(WARNING "the saverpack.exe tests will fail: ${missing}")
endif()
