# Installation and the Debian package.
#
# Layout under the prefix (/usr for the package):
#   lib/vizavuz-antivirus/                the program folder: the executable, the scanner
#                                         vizavuz-scan and bin/skin/
#   bin/vizavuz-antivirus                 symbolic link to the executable; the program finds
#                                         its folder from /proc/self/exe, which resolves links
#   share/applications/                   the desktop entry
#   share/icons/hicolor/<N>x<N>/apps/     the icon, drawn at build time by vz-icongen
#   share/metainfo/                       AppStream metadata
#   share/man/man1/                       the manual page
#   share/doc/vizavuz-antivirus/          copyright and change log
#   share/kio/servicemenus/               Dolphin's "Scan with" action
#   share/nemo/actions/                   Nemo's "Scan with" action
#   share/file-manager/actions/           the same for Caja and the other file managers that
#                                         read FileManager-Actions files

set(VZ_APP_ID net.vizavuz.antivirus)
set(VZ_INSTALL_PROGRAM_DIR lib/vizavuz-antivirus)

install(TARGETS vizavuz-antivirus vizavuz-scan RUNTIME DESTINATION ${VZ_INSTALL_PROGRAM_DIR})
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
install(FILES ${CMAKE_SOURCE_DIR}/packaging/vizavuz-antivirus-dolphin.desktop
        DESTINATION share/kio/servicemenus RENAME ${VZ_APP_ID}.scan.desktop)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/vizavuz-antivirus.nemo_action
        DESTINATION share/nemo/actions)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/vizavuz-antivirus-fma.desktop
        DESTINATION share/file-manager/actions RENAME ${VZ_APP_ID}.scan.desktop)

# Debian wants the manual page and the change log compressed at the highest level and without
# a time stamp, so that the package is the same from one build to the next.
set(VZ_DOC_DIR share/doc/vizavuz-antivirus)
set(VZ_GZIPPED)
foreach(pair "vizavuz-antivirus.1|vizavuz-antivirus.1.gz" "changelog|changelog.gz")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 target)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/packaging/${target}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${CMAKE_SOURCE_DIR}/packaging/${source}
            ${CMAKE_BINARY_DIR}/packaging/${target}
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/${source}
    VERBATIM)
  list(APPEND VZ_GZIPPED ${CMAKE_BINARY_DIR}/packaging/${target})
endforeach()
add_custom_target(vz_packaging_docs ALL DEPENDS ${VZ_GZIPPED})
install(FILES ${CMAKE_BINARY_DIR}/packaging/vizavuz-antivirus.1.gz DESTINATION share/man/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${CMAKE_SOURCE_DIR}/packaging/copyright
        DESTINATION ${VZ_DOC_DIR})

set(CPACK_PACKAGE_NAME vizavuz-antivirus)
set(CPACK_PACKAGE_VENDOR "The Vizavuz AntiVirus developers")
set(CPACK_PACKAGE_CONTACT "The Vizavuz AntiVirus developers <developers@vizavuz.net>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop antivirus front end for the ClamAV scanner")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt libraries and ClamAV's library come from the executables' own links; clamscan is
# the fallback scanner, freshclam the updater.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libclamav12, clamav, clamav-freshclam")
# Debian shows the long description as it stands: lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
  "Vizavuz AntiVirus runs clamscan over the local file systems or over chosen
files and folders, shows what it finds while it scans, and keeps infected files
in a quarantine vault from where they can be restored. It keeps ClamAV's virus
databases up to date, and scans what is given on its command line, dropped onto
its window or chosen in a file manager.")
set(CPACK_STRIP_FILES ON)
include(CPack)
