# "make deb": one Debian package of the window, the terminal program and their desktop files;
# the simulator's component stays out.
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE TELVA_DEB_ARCH
    OUTPUT_STRIP_TRAILING_WHITESPACE)

set(TELVA_CHANGELOG_DATE "Tue, 08 Dec 2026 12:00:00 +0000")
configure_file(data/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
    COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/debian/changelog > ${CMAKE_BINARY_DIR}/debian/changelog.gz
    DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog)
add_custom_target(telva-changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz data/debian/copyright
    DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME telva)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR KVB)
set(CPACK_PACKAGE_CONTACT "KVB TELVA <telva@kvb.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sign, encrypt and send reports to the fund (KVB)")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "TELVA signs a report with the accountant's GOST certificate, encrypts it for\n\
the fund, sends it to the fund's gateway and follows it until the signed\n\
receipt comes back. The package holds the window (telva) and the terminal\n\
program (telva-cli).")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.kvb.example/telva")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${TELVA_DEB_ARCH})
set(CPACK_DEBIAN_FILE_NAME "telva_${PROJECT_VERSION}_${TELVA_DEB_ARCH}.deb")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so no library link shows them: the GOST engine, the screen plugins,
# Qt's own Russian texts and the desktop's opener.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libengine-gost-openssl, qt6-qpa-plugins, qt6-translations-l10n, xdg-utils")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR OFF)
include(CPack)
