# The Debian package: `cpack -G DEB` in a build folder (scripts/package.sh does it and checks the
# result). Everything goes under /usr, so the desktop entry's "quillon" and quillon-cli are on
# the PATH; the library dependencies are worked out from the binaries by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillon")
set(CPACK_PACKAGE_CONTACT "Quillon developers <quillon@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "AVR microcontroller programmer for the Tavro serial gateway")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads, writes, verifies and erases AVR microcontrollers and edits their fuse and lock bits\n"
    "through the Tavro, a small serial gateway: a Qt window (quillon), a command line for\n"
    "scripts and production lines (quillon-cli) and a simulated gateway (tavro-sim).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Found at run time rather than linked: the window's platform plugin.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
include(CPack)
