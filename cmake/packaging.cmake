# Installing the game where a Debian user expects one, and the .deb that
# does it: the program in games/, its manual page in section 6, the
# copyright file beside the docs.

include(GNUInstallDirs)

# The title line is the one place the version is written; the package and
# the manual page take it from there, so the three can never disagree.
file(STRINGS ${PROJECT_SOURCE_DIR}/core/game.h keelmarkTitleLine REGEX "titleLine = \" Keelmark version ")
string(REGEX MATCH "version ([^\"]+)\"" keelmarkVersionMatch "${keelmarkTitleLine}")
set(KEELMARK_VERSION "${CMAKE_MATCH_1}")
if(NOT KEELMARK_VERSION)
  message(FATAL_ERROR "No version found in the title line of core/game.h")
endif()

set(keelmarkManPage ${CMAKE_CURRENT_BINARY_DIR}/keelmark.6)
configure_file(${PROJECT_SOURCE_DIR}/doc/keelmark.6.in ${keelmarkManPage} @ONLY)
# Debian keeps manual pages compressed, without a time stamp in the archive.
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(
  OUTPUT ${keelmarkManPage}.gz
  COMMAND ${GZIP_PROGRAM} -9 -n -c ${keelmarkManPage} > ${keelmarkManPage}.gz
  DEPENDS ${keelmarkManPage}
  VERBATIM)
add_custom_target(keelmark_man_page ALL DEPENDS ${keelmarkManPage}.gz)

install(TARGETS keelmark RUNTIME DESTINATION games)
install(FILES ${keelmarkManPage}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${PROJECT_SOURCE_DIR}/doc/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Debian orders 1.0~pre5 before 1.0, where 1.0-pre5 would read as revision
# "pre5" of 1.0 and outrank the release itself.
string(REPLACE "-" "~" keelmarkDebianVersion "${KEELMARK_VERSION}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME keelmark)
set(CPACK_PACKAGE_VERSION "${keelmarkDebianVersion}")
set(CPACK_PACKAGE_VENDOR "the Keelmark crew")
set(CPACK_PACKAGE_CONTACT "the Keelmark crew <keelmark@invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sea battle for the text console, played by ear")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "sea battle for the text console, played by ear
 You and the computer each hide five ships on a 10 by 10 grid and fire one
 shot each per round. Every prompt, announcement and entry is spoken, every
 shot and every refused entry is marked by a short sound clip, and the same
 information stands on an 80 by 25 colour text screen that also takes mouse
 clicks.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# dpkg-shlibdeps names the libraries the binary really links (ncurses,
# SDL2, libspeechd, espeak-ng, the C++ runtime) with the versions it needs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# espeak-ng cannot speak without its voices.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "espeak-ng-data")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "speech-dispatcher, speech-dispatcher-espeak-ng")
include(CPack)
