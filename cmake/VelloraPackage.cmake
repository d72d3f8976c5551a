# The Debian package (scripts/package): cpack -G DEB in a build configured
# for /usr. Its dependencies come from dpkg-shlibdeps.
set(VELLORA_PACKAGE_MAINTAINER "libvellora maintainers <maintainers@libvellora.example>"
    CACHE STRING "Maintainer field of the Debian package")
set(VELLORA_PACKAGE_NAME vellora)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VELLORA_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VELLORA_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "similar music store items beside the music player's views")
set(CPACK_PACKAGE_DESCRIPTION
    "A plug-in for a Linux handset's music player: for the artist on screen it\n"
    "shows a panel of up to four similar tracks, albums or artists from the\n"
    "online music store. The package holds the plug-in, the host player's\n"
    "extension library and widget toolkit with their headers, pkg-config file\n"
    "and CMake package, the demo player vellora-player and the store emulator\n"
    "vellora-store.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The player runs itself under a private session bus; the panel's switch
# lives in dconf.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "dbus-daemon")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "dconf-service")
# A shlibs file and the ldconfig trigger for the two shared libraries.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)

# Debian wants a copyright file and a compressed change log in the
# package's documentation folder.
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${VELLORA_PACKAGE_NAME})
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
execute_process(COMMAND gzip -9 -n -f ${CMAKE_CURRENT_BINARY_DIR}/changelog)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
    DESTINATION ${doc_dir})

include(CPack)
