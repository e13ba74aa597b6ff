# Installation: what the Debian package (debian/, scripts/package) and
# `cmake --install` put on the system.
include(GNUInstallDirs)

install(TARGETS ovx ovx-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Started from the desktop's menu, ovx runs in its data folder: the menu
# entry starts it through a small launcher that changes there first.
set(OVX_BINARY ${CMAKE_INSTALL_FULL_BINDIR}/ovx)
set(OVX_MENU_LAUNCHER ${CMAKE_INSTALL_FULL_LIBEXECDIR}/ovx/ovx-menu)
configure_file(${PROJECT_SOURCE_DIR}/packaging/ovx-menu.in ${PROJECT_BINARY_DIR}/ovx-menu @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/ovx.desktop.in ${PROJECT_BINARY_DIR}/ovx.desktop
               @ONLY)
install(PROGRAMS ${PROJECT_BINARY_DIR}/ovx-menu DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/ovx)
install(FILES ${PROJECT_BINARY_DIR}/ovx.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The icon: scalable, and drawn for the sizes that menus and docks use most.
# The 32-pixel one is also the window's icon (src/ui/icons).
set(icons ${PROJECT_SOURCE_DIR}/packaging/icons)
install(FILES ${icons}/ovx.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 32 48 64 128)
  install(FILES ${icons}/ovx-${size}.png RENAME ovx.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/org.example.ovx.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/man/ovx.1 ${PROJECT_SOURCE_DIR}/packaging/man/ovx-sim.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Installing takes what is built and builds nothing itself, so that a package
# needs only ovx and ovx-sim, not the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
