# The Debian package: `cpack -G DEB` in a build folder gives vorlaine_<version>_amd64.deb.
include(GNUInstallDirs)

set(VORLAINE_RES ${PROJECT_SOURCE_DIR}/resources)
install(FILES ${VORLAINE_RES}/70-vorlaine.rules DESTINATION lib/udev/rules.d)
install(FILES ${VORLAINE_RES}/vorlaine.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VORLAINE_RES}/icon.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps RENAME vorlaine.png)
install(FILES ${VORLAINE_RES}/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vorlaine)

# Debian wants the changelog and the manual page compressed, without a time stamp in the gzip header.
set(VORLAINE_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${VORLAINE_CHANGELOG_GZ}
  COMMAND gzip -9n -c ${VORLAINE_RES}/debian/changelog > ${VORLAINE_CHANGELOG_GZ}
  DEPENDS ${VORLAINE_RES}/debian/changelog VERBATIM)
set(VORLAINE_MAN_GZ ${CMAKE_BINARY_DIR}/vorlaine.1.gz)
add_custom_command(OUTPUT ${VORLAINE_MAN_GZ}
  COMMAND gzip -9n -c ${VORLAINE_RES}/debian/vorlaine.1 > ${VORLAINE_MAN_GZ}
  DEPENDS ${VORLAINE_RES}/debian/vorlaine.1 VERBATIM)
add_custom_target(vorlaine_changelog ALL DEPENDS ${VORLAINE_CHANGELOG_GZ} ${VORLAINE_MAN_GZ})
install(FILES ${VORLAINE_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VORLAINE_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vorlaine)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorlaine)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "front end of a test station for capacitive touch-panel sensors")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Vorlaine finds the USB tester board attached, polls its 32 channels per
sensor, judges every sensor against its limits on a live grid, drives the
board's pass and fail lines and keeps a test record of every sensor.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Vorlaine developers <developers@vorlaine.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so shlibdeps cannot see them: the window system plugin, the camera's
# GStreamer elements, a face for the Chinese texts and Qt's own Chinese for its standard buttons.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-good, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${VORLAINE_RES}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
