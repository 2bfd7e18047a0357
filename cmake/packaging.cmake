# What `cmake --install` puts where, and the Debian package that
# `cpack -G DEB` makes of it: fwsend_<version>_<arch>.deb.
include(GNUInstallDirs)

install(TARGETS fwsend fwsend-ports RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET fwsend-gang)
  install(TARGETS fwsend-gang RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(WIN32)
  return()
endif()
install(FILES doc/fwsend.1 doc/fwsend-ports.1 doc/fwsend-gang.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME fwsend)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "upload firmware upgrade images to a boot loader over a serial link")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "fwsend sends a prepared upgrade image frame by frame to a device's boot loader over a serial port, "
    "an FTDI USB converter or a CP2102 USB bridge, with a progress line and an exit status scripts can "
    "trust. fwsend-ports lists the devices it can open and the options that name them; fwsend-gang "
    "uploads one image to many boards at once, with a line per board and a JSON Lines report.")
set(CPACK_PACKAGE_CONTACT "fwsend maintainers <maintainers@users.noreply.c-seed-2d9df2fe.example>")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
