# cmake --install and the Debian package (scripts/package.sh): the four
# programs (kbmaint with its manual page), the start script that runs the tool in a per-user data directory,
# the help page, the icon and the desktop entry.
include(GNUInstallDirs)

set(MAINT_PACKAGE kb-r5530-maintenance)
set(MAINT_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/${MAINT_PACKAGE})

install(TARGETS maintenance-tool maintenance-demo module-sim
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The command line, with its manual page.
if(TARGET kbmaint)
  install(TARGETS kbmaint RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${MAINT_ROOT}/packaging/kbmaint.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The start script finds the help page relative to itself, so any prefix works.
file(RELATIVE_PATH MAINT_BIN_TO_SHARE /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${MAINT_SHARE_DIR})
configure_file(${MAINT_ROOT}/packaging/${MAINT_PACKAGE}.in
               ${CMAKE_CURRENT_BINARY_DIR}/packaging/${MAINT_PACKAGE} @ONLY)
install(PROGRAMS ${CMAKE_CURRENT_BINARY_DIR}/packaging/${MAINT_PACKAGE}
        DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${MAINT_ROOT}/resources/help.html DESTINATION ${MAINT_SHARE_DIR})
install(FILES ${MAINT_ROOT}/packaging/${MAINT_PACKAGE}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${MAINT_ROOT}/resources/images/icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps
        RENAME ${MAINT_PACKAGE}.png)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${MAINT_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Maintenance tool for the KB-R5530 network module")
set(CPACK_PACKAGE_DESCRIPTION
    "Logs in to a KB-R5530 RS-485/Wi-Fi/FE module over its debug serial port, shows and changes its settings, upgrades its firmware, fetches its log and keeps a pool of MAC addresses. Includes kbmaint, a command line that maintains several modules at once, a demo launcher and a module simulator.")
set(CPACK_PACKAGE_CONTACT "KB-R5530 maintenance tool maintainers <maintenance-tool@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Shared libraries through dpkg-shlibdeps; the SQLite driver is a plugin that
# no binary links, and the Chinese texts need a font that has the glyphs.
find_program(MAINT_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(MAINT_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5sql5-sqlite")
else() # Debian 12's names, when dpkg-dev is not there to work them out
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6, libstdc++6, libqt5core5a (>= 5.15), libqt5gui5 (>= 5.15), libqt5widgets5 (>= 5.15), libqt5serialport5 (>= 5.15), libqt5sql5 (>= 5.15), libqt5sql5-sqlite, libssl3")
endif()
# A MAC pool on a PostgreSQL server needs Qt's driver for it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk, libqt5sql5-psql")
set(CPACK_STRIP_FILES ON)
include(CPack)
