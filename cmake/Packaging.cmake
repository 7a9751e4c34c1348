# Installation and the Debian package.
#
#   cmake --install <build> [--prefix /usr]
#       bin/fota-cli, bin/fota (when built with FOTA_BUILD_GUI), the udev rule
#       for ANT USB sticks, the desktop entry and icon of the window program,
#       and the README.
#
#   cd <build> && cpack -G DEB
#       fota_<version>_<arch>.deb with the same files under /usr; its
#       dependencies are found with dpkg-shlibdeps (package dpkg-dev). After
#       installing, it reloads the udev rules so that a stick plugged in next
#       is usable without root.

include(GNUInstallDirs)

set(FOTA_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Where the udev rule is installed, relative to the prefix (udev reads /usr/lib/udev/rules.d)")

install(TARGETS fota-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT fota)
if(TARGET fota)
    install(TARGETS fota RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT fota)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/fota.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT fota)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/fota.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT fota)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/udev/70-ant-usb.rules
        DESTINATION ${FOTA_UDEV_RULES_DIR} COMPONENT fota)
install(FILES ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT fota)

set(CPACK_PACKAGE_NAME "fota")
set(CPACK_PACKAGE_VENDOR "Trainer Maker")
set(CPACK_PACKAGE_CONTACT "support@trainer-maker.example")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Trainer firmware upgrade over ANT")
set(CPACK_PACKAGE_DESCRIPTION
    "Upgrades the firmware of an indoor bike trainer over an ANT USB stick: fota, the window, \
and fota-cli, the same upgrade in a terminal. Both carry a simulated stick and trainer \
(--simulate) for trying them out without hardware.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "fota")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Trainer Maker <support@trainer-maker.example>")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET fota)
    # Qt loads its platform plugins at run time: dpkg-shlibdeps cannot see them.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/debian/postinst;${PROJECT_SOURCE_DIR}/packaging/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
