# Installs the documentation and sets up CPack: a Debian package on Linux, a zip on Windows.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME spanfetch)
set(CPACK_PACKAGE_VENDOR "spanfetch developers")
set(CPACK_PACKAGE_CONTACT "spanfetch developers <dev@spanfetch.local>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copy a disc image spread over several CDs and convert it")
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)

if(WIN32)
  # The readme ships with Windows line ends whatever the checkout uses.
  file(READ ${CMAKE_CURRENT_SOURCE_DIR}/doc/README-windows.txt SPANFETCH_README)
  string(REPLACE "\r\n" "\n" SPANFETCH_README "${SPANFETCH_README}")
  string(REPLACE "\n" "\r\n" SPANFETCH_README "${SPANFETCH_README}")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/README.txt "${SPANFETCH_README}")
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)
  # The licence travels with the program, with Windows line ends too.
  file(READ ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE SPANFETCH_LICENSE)
  string(REPLACE "\n" "\r\n" SPANFETCH_LICENSE "${SPANFETCH_LICENSE}")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt "${SPANFETCH_LICENSE}")
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt DESTINATION .)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  install(FILES doc/spanfetch.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES doc/copyright doc/changelog DESTINATION ${CMAKE_INSTALL_DOCDIR})

  # A Debian build links with a read-only relocation table, bound at start-up.
  target_link_options(spanfetch PRIVATE -Wl,-z,relro -Wl,-z,now)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "spanfetch developers <dev@spanfetch.local>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # CPack puts the summary above this as the description's first line.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "spanfetch copies a disk image stored on one or more CDs as numbered part
files (KORVADIS.IMG, KORVADIS.001, ...) to destination parts of the same
numbers. It asks for the disc holding each part that is not present, finds
the end of the image by its end-marker sector, cuts the data there and
rewrites the header of destination part 0 with the signature IMG.")
  # Debian wants manual pages and changelogs compressed with gzip -9n; a
  # plain install keeps them as they are.
  # It also drops the compiler's notes from the binary, as a Debian strip does,
  # and adds the package's lintian overrides.
  set(CPACK_SPANFETCH_STRIP "${CMAKE_STRIP}")
  set(CPACK_SPANFETCH_LINTIAN_OVERRIDES ${CMAKE_CURRENT_SOURCE_DIR}/doc/lintian-overrides)
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian-staging.cmake)
endif()

include(CPack)
