# Install rules and the release packages, made by CPack:
#   host build    saverpack_<version>_<arch>.deb: bin/saverpack, the 32-bit
#                 product's installer.exe and impborl.dll in share/saverpack
#                 (taken from the win32 build: SAVERPACK_MINGW_INSTALLER and
#                 SAVERPACK_MINGW_IMPBORL), the manual page
#   win32 build   saverpack-<version>-win32.zip: saverpack.exe, installer.exe,
#                 impborl.dll, README.txt and the example saver; the build
#                 makes it too (release/), for the test that unpacks it
# The files carry the time SOURCE_DATE_EPOCH (see release.cmake); file
# modes and folder modes are fixed, and the zip's entries are put in name
# order (normalize_package.cmake), so two runs give the same bytes.
# The 64-bit twin is never packaged.

# cpack packs what is built; scripts/release.sh builds only the release
# targets, not every test.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_PACKAGE_NAME saverpack)
set(CPACK_PACKAGE_VENDOR Vellarmont)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "makes installers for Windows screen savers")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/release)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/normalize_package.cmake)
set(CPACK_VLX_SOURCE_DATE_EPOCH "${VLX_SOURCE_DATE_EPOCH}")
set(packaged OFF)

if(WIN32 AND NOT VLX_TWIN)
  install(PROGRAMS $<TARGET_FILE:saverpack> $<TARGET_FILE:installer> DESTINATION .)
  install(FILES $<TARGET_FILE:impborl> DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/README-windows.txt DESTINATION . RENAME README.txt)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/aquarium DESTINATION examples)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME saverpack-${PROJECT_VERSION}-win32)
  set(packaged ON)
elseif(NOT WIN32)
  install(TARGETS saverpack RUNTIME DESTINATION bin)
  install(FILES ${SAVERPACK_MINGW_INSTALLER} ${SAVERPACK_MINGW_IMPBORL} DESTINATION share/saverpack)
  # The manual page, compressed without a name or time in the gzip header.
  set(man_page ${CMAKE_BINARY_DIR}/packaging/saverpack.1.gz)
  add_custom_command(OUTPUT ${man_page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND sh -c "gzip -n -9 -c '${PROJECT_SOURCE_DIR}/packaging/saverpack.1' > '${man_page}'"
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/saverpack.1
    VERBATIM)
  add_custom_target(saverpack_man_page ALL DEPENDS ${man_page})
  install(FILES ${man_page} DESTINATION share/man/man1)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Vellarmont")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The summary is the first line; this follows it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "saverpack packs a screen saver's files into a \
self-extracting installer for Windows, lists and verifies such installers and signs them.")
  # osslsigncode signs. dpkg-shlibdeps adds the packages of the libraries
  # saverpack links: libcrypto's (libssl3, which checks signatures), the C
  # and the C++ library's.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "osslsigncode")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(packaged ON)
endif()

if(WIN32 AND NOT VLX_TWIN)
  set(VLX_RELEASE_ZIP ${CMAKE_BINARY_DIR}/release/${CPACK_PACKAGE_FILE_NAME}.zip)
endif()
if(packaged)
  # CPack's module leaves its source package's settings in this scope.
  include(CPack)
  # The package with the time of SOURCE_DATE_EPOCH in its files.
  set(VLX_CPACK ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VLX_SOURCE_DATE_EPOCH}
    ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake)
endif()

if(WIN32 AND NOT VLX_TWIN)
  add_custom_command(OUTPUT ${VLX_RELEASE_ZIP}
    COMMAND ${VLX_CPACK} -B ${CMAKE_BINARY_DIR}/release
    DEPENDS saverpack installer impborl ${PROJECT_SOURCE_DIR}/packaging/README-windows.txt
    COMMENT "Packing the release zip"
    VERBATIM)
  add_custom_target(release_zip ALL DEPENDS ${VLX_RELEASE_ZIP})
endif()

# The zip under Wine, in the win32 suite: in the emulated 32-bit machine
# where 32-bit programs cannot run here.
if(WIN32 AND NOT VLX_TWIN)
  vlx_wine_script_test(ReleaseZip ${PROJECT_SOURCE_DIR}/tests/scripts/release_zip_wine_test.sh 300
    ${VLX_RELEASE_ZIP} ${PROJECT_VERSION})
endif()
