# `cpack -G DEB` in the build folder: the Debian package quillabrix, installing under /usr.
set(CPACK_PACKAGE_NAME quillabrix)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The Quillabrix developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Game box that plays Flash games from a game portal")
set(CPACK_PACKAGE_DESCRIPTION
    "One window shows a game portal; a click on a game downloads it into the user's own library and plays it in the built-in Flash player (Ruffle). Includes quillabrix-portal, a small server for a collection of one's own.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # quillabrix_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Quillabrix developers <quillabrix@localhost>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUILLABRIX_HOMEPAGE_URL}")
# The libraries the binaries link are found by dpkg-shlibdeps. What Qt loads at run time cannot be seen in
# them: the platform plugins, named here (the web engine's helper process comes with its library's shlibs).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The player draws the games' device-font text (most Chinese text in games) with the Chinese font it finds
# installed, as do the Chinese titles and interface: without it that text is invisible.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-wqy-microhei")
# Qt's own dialogs (the file chooser) speak the user's language with Qt's translations.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")

include(CPack)
