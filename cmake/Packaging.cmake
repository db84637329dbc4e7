# The Debian package: `cpack -G DEB` in a build tree (scripts/package configures one for /usr and runs it).
# The package holds what `cmake --install` puts down; its library dependencies are computed from the programs
# by dpkg-shlibdeps, never written by hand.

set(CPACK_PACKAGE_NAME pelorix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Pelorix authors")
set(CPACK_PACKAGE_CONTACT "The Pelorix authors <pelorix@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "http://pelorix.example.org/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "server browser for the online game VEKTA 4")
set(CPACK_PACKAGE_DESCRIPTION
    "Pelorix shows every public VEKTA 4 game server in one table, filters and sorts it, lists the players
of a server, waits for a free slot and joins a server by starting the game through Wine. The package also
holds pelorix-cli, the browser on the command line; pelorix-master, the master-list web service with an
example system service; and pelorix-gamesim, a game-server simulator with a demo world.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Wine runs the game; the browser works without it, so it is only recommended.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wine, xdg-utils")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_GENERATOR DEB)
include(CPack)
