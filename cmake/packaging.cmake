# Installing and packaging: the game's own install rule and the Debian
# package that `cpack -G DEB` builds from the build tree. The other
# programs, the desktop entry, the metainfo and the icons carry their
# install rules in their own folders.
include(GNUInstallDirs)

install(TARGETS pegsquare RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(PEGSQUARE_PACKAGE_MAINTAINER "Pegsquare Games <packages@pegsquare.example>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pegsquare)
set(CPACK_PACKAGE_VENDOR "Pegsquare Games")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${PEGSQUARE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cribbage-square solitaire card game")
# Debian's long description; CPack indents the lines itself.
set(CPACK_PACKAGE_DESCRIPTION
"Pegsquare deals sixteen cards, one at a time, to place on a four by four
square; the rows and columns are then scored as eight cribbage hands with a
starter card. Rounds of 55 or more let the player go on, adding to a running
total. The game keeps a tally with the ten best games and can post scores to
an online high-score list.

Also included: pegscore, which scores a line of cards from the command line;
pegpack, which opens the game's compressed tally file; pegbot, which plays
the game's deals with the placement advisor and reports its scores; and
pegsquare-server,
the web server that keeps the online high-score list.")
# Everything, the vendor's server included, goes into the one package: the
# server is small and its libraries are few, and one package keeps the
# versions of the game and the server it talks to together.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.pegsquare.example/")
# The libraries the programs link are found by dpkg-shlibdeps. What is only
# loaded at run time it cannot see: Qt's X11 platform plugin, and the
# Liberation faces the windows are laid out for (fontconfig would silently
# substitute a face of other widths).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation2")
# Web links and the online list's links open through xdg-open; without it
# the game still runs, the links just do nothing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")

# A package whose game trusts a key made for one build folder can never be
# updated by the vendor: say so when the package is made, and at configure
# time of a release build.
if(PEGSQUARE_UPDATE_KEY_GENERATED)
    set(update_key_warning "This build trusts update installers signed with the key pair made for its own build \
folder (${PEGSQUARE_UPDATE_KEY_DIR}), not the vendor's: give -DPEGSQUARE_UPDATE_KEY=<the vendor's public key> \
for a package that players can update.")
    if(CMAKE_BUILD_TYPE STREQUAL "Release")
        message(WARNING "${update_key_warning}")
    endif()
    set(update_key_check "${CMAKE_BINARY_DIR}/cpack-update-key.cmake")
    file(WRITE "${update_key_check}" "message(WARNING [=[${update_key_warning}]=])\n")
    set(CPACK_PROJECT_CONFIG_FILE "${update_key_check}")
endif()

include(CPack)
