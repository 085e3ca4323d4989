# Installing the game the way each system's players expect, and the packages
# that do it: on Linux the program in games/, its manual page in section 6
# and a .deb; on Windows (cmake/windows_packaging.cmake) an installer and a
# portable zip.

include(GNUInstallDirs)

# The title line is the one place the version is written; the packages and
# the manual page take it from there, so they can never disagree.
file(STRINGS ${PROJECT_SOURCE_DIR}/core/game.h keelmarkTitleLine REGEX "titleLine = \" Keelmark version ")
string(REGEX MATCH "version ([^\"]+)\"" keelmarkVersionMatch "${keelmarkTitleLine}")
set(KEELMARK_VERSION "${CMAKE_MATCH_1}")
if(NOT KEELMARK_VERSION)
  message(FATAL_ERROR "No version found in the title line of core/game.h")
endif()

# Values reach the generators as written here: a backslash in an NSIS path
# needs no second escaping.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME keelmark)
set(CPACK_PACKAGE_VENDOR "the Keelmark developers")
set(CPACK_PACKAGE_CONTACT "the Keelmark developers <maintainers@keelmark.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sea battle for the text console, played by ear")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/COPYING)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windows_packaging.cmake)
  include(CPack)
  return()
endif()

set(keelmarkManPage ${CMAKE_CURRENT_BINARY_DIR}/keelmark.6)
configure_file(${PROJECT_SOURCE_DIR}/doc/keelmark.6.in ${keelmarkManPage} @ONLY)
# Debian keeps manual pages and changelogs compressed, without a time stamp
# in the archive.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(keelmarkChangelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(
  OUTPUT ${keelmarkManPage}.gz
  COMMAND ${GZIP_PROGRAM} -9 -n -c ${keelmarkManPage} > ${keelmarkManPage}.gz
  DEPENDS ${keelmarkManPage}
  VERBATIM)
add_custom_command(
  OUTPUT ${keelmarkChangelog}
  COMMAND ${GZIP_PROGRAM} -9 -n -c ${PROJECT_SOURCE_DIR}/doc/changelog > ${keelmarkChangelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/doc/changelog
  VERBATIM)
add_custom_target(keelmark_package_docs ALL DEPENDS ${keelmarkManPage}.gz ${keelmarkChangelog})

install(TARGETS keelmark RUNTIME DESTINATION games)
install(FILES ${keelmarkManPage}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${PROJECT_SOURCE_DIR}/doc/copyright ${keelmarkChangelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Debian orders 1.0~pre5 before 1.0, where 1.0-pre5 would read as revision
# "pre5" of 1.0 and outrank the release itself.
string(REPLACE "-" "~" keelmarkDebianVersion "${KEELMARK_VERSION}")

# A new version in the title needs its own entry at the top of the package's
# changelog; the build stops until someone writes it.
file(READ ${PROJECT_SOURCE_DIR}/doc/changelog keelmarkChangelogHead LIMIT 100)
string(REGEX MATCH "^keelmark \\(([^)]+)\\)" keelmarkChangelogMatch "${keelmarkChangelogHead}")
if(NOT CMAKE_MATCH_1 STREQUAL keelmarkDebianVersion)
  message(FATAL_ERROR "doc/changelog begins with version '${CMAKE_MATCH_1}': "
    "write an entry for version ${keelmarkDebianVersion} at its top")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_VERSION "${keelmarkDebianVersion}")
# CPack puts the summary above these lines and indents them itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "You and the computer each hide five ships on a 10 by 10 grid and fire one
shot each per round. Every prompt, announcement and entry is spoken, every
shot and every refused entry is marked by a short sound clip, and the same
information stands on an 80 by 25 colour text screen that also takes mouse
clicks.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The game's program goes in stripped, its debug symbols left out. (CMake
# 3.25's keelmark-dbgsym package lists its one file in md5sums by the path
# it was built at, and lacks a copyright file: lintian rejects it.)
set(CPACK_STRIP_FILES ON)
# dpkg-shlibdeps names the libraries the binary really links (ncurses,
# SDL2, libspeechd, espeak-ng, the C++ runtime) with the versions it needs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# espeak-ng cannot speak without its voices.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "espeak-ng-data")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "speech-dispatcher, speech-dispatcher-espeak-ng")
include(CPack)
