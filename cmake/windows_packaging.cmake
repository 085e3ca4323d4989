# Installed like any Windows program: a 64-bit NSIS installer into Program
# Files, with a Start-menu shortcut, an uninstaller and its entry in "Add or
# remove programs", and the licence shown before anything is installed; or
# the same files in a portable zip, to unpack anywhere and run.
#
#   cpack -G "NSIS;ZIP"   # keelmark-<version>-win64.exe and .zip
#
# Debian's nsis package (makensis) builds the installer on Linux.

# The game, its README and its licence, side by side, as .txt files so that a
# double click opens them in Notepad.
install(TARGETS keelmark RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . RENAME README.txt)
install(FILES ${PROJECT_SOURCE_DIR}/COPYING DESTINATION . RENAME COPYING.txt)

set(CPACK_GENERATOR NSIS ZIP)
# Windows has no quarrel with the title's own spelling of the version.
set(CPACK_PACKAGE_VERSION "${KEELMARK_VERSION}")
set(CPACK_PACKAGE_FILE_NAME "keelmark-${KEELMARK_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Keelmark)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Keelmark)

# A 64-bit installer: it installs under the 64-bit Program Files and writes
# its uninstall entry into the 64-bit registry, where a 32-bit one would be
# redirected to "Program Files (x86)" and WOW6432Node (and would not run at
# all on a 64-bit-only Wine).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "Keelmark")
set(CPACK_NSIS_DISPLAY_NAME "Keelmark ${KEELMARK_VERSION}")
set(CPACK_NSIS_CONTACT "maintainers@keelmark.org")
set(CPACK_NSIS_INSTALLED_ICON_NAME keelmark.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
# The shortcut starts the console program itself, so Windows opens it in a
# console window of its own, in the game's folder.
set(CPACK_NSIS_CREATE_ICONS_EXTRA
  "CreateShortCut '$SMPROGRAMS\\$STARTMENU_FOLDER\\Keelmark.lnk' '$INSTDIR\\keelmark.exe' '' '$INSTDIR\\keelmark.exe' 0 SW_SHOWNORMAL '' 'Sea battle, played by ear'")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "Delete '$SMPROGRAMS\\$MUI_TEMP\\Keelmark.lnk'")
