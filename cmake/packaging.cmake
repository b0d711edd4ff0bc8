# Installation and the Debian package.
#
# Layout under the prefix (/usr for the package):
#   lib/vizavuz-antivirus/                the program folder: the executable and bin/skin/
#   bin/vizavuz-antivirus                 symbolic link to the executable; the program finds
#                                         its folder from /proc/self/exe, which resolves links
#   share/applications/                   the desktop entry
#   share/icons/hicolor/<N>x<N>/apps/     the icon, drawn at build time by vz-icongen
#   share/metainfo/                       AppStream metadata

set(VZ_APP_ID net.vizavuz.antivirus)
set(VZ_INSTALL_PROGRAM_DIR lib/vizavuz-antivirus)

install(TARGETS vizavuz-antivirus RUNTIME DESTINATION ${VZ_INSTALL_PROGRAM_DIR})
# Filled by the skin generator at build time; a tree without it installs no skins.
install(DIRECTORY ${VZ_PROGRAM_DIR}/bin/skin DESTINATION ${VZ_INSTALL_PROGRAM_DIR}/bin OPTIONAL)

# A relative link, so that it stays right wherever the tree is unpacked.
set(VZ_LAUNCHER ${CMAKE_BINARY_DIR}/launcher/vizavuz-antivirus)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/launcher)
file(CREATE_LINK ../${VZ_INSTALL_PROGRAM_DIR}/vizavuz-antivirus ${VZ_LAUNCHER} SYMBOLIC)
install(FILES ${VZ_LAUNCHER} DESTINATION bin)

install(FILES ${CMAKE_SOURCE_DIR}/packaging/${VZ_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${VZ_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/hicolor DESTINATION share/icons)

set(CPACK_PACKAGE_NAME vizavuz-antivirus)
set(CPACK_PACKAGE_VENDOR "The Vizavuz AntiVirus developers")
set(CPACK_PACKAGE_CONTACT "The Vizavuz AntiVirus developers <vizavuz-antivirus@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop antivirus front end for the ClamAV scanner")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt libraries come from the executable's own links; ClamAV is run, not linked.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "clamav, clamav-freshclam")
set(CPACK_PACKAGE_DESCRIPTION
  "Vizavuz AntiVirus runs clamscan over the local file systems or chosen folders, shows what it \
finds while it scans, and keeps infected files in a quarantine vault from where they can be \
restored.")
set(CPACK_STRIP_FILES ON)
include(CPack)
