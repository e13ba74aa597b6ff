# Installation and the Debian package (scripts/package).
include(GNUInstallDirs)

install(TARGETS ovx ovx-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The desktop menu entry and its icon.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/ovx.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/ovx.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)

# Installing and packaging take what is built and build nothing themselves,
# so that a package needs only ovx and ovx-sim, not the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(OVX_PACKAGE_MAINTAINER "OVX 7316 developers <ovx@example.org>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ovx)
set(CPACK_PACKAGE_VENDOR "OVX 7316 developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control program for the OVX 7316 furnace controller")
set(CPACK_PACKAGE_DESCRIPTION
    "ovx is the operator's front panel for a furnace driven by an OVX 7316\n"
    "high-temperature controller on a serial line: setpoint and PID terms,\n"
    "heater output, self-optimizing, PID sets per setpoint and temperature runs.\n"
    "ovx-sim simulates the controller and its furnace on a pseudo-terminal.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${OVX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt libraries and the rest come from the binaries (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
