#!/usr/bin/env bash
# The Windows packages as a player gets them, under Wine: the installer made
# by cpack installed silently, the installed game played to round 2 and
# quit, the uninstaller run; then the portable zip unpacked and its game
# played the same way. One private prefix serves all three.
#
# Wine's installer and uninstaller return before their work is done (the
# uninstaller hands over to a copy of itself in the temporary folder), and
# an installer built for the wrong machine can exit 0 having installed
# nothing, so every check looks at files and registry keys, after
# "wineserver -w", never at an exit status.
#
# Usage: installer_test.sh BUILD_DIR KEELMARK.EXE RECORDING_VOICE.DLL

set -u
unset DISPLAY WAYLAND_DISPLAY
buildDir=$(readlink -f "${1:?usage: installer_test.sh BUILD_DIR KEELMARK.EXE}")
command -v wine >/dev/null || { echo "wine is not installed" >&2; exit 2; }
command -v makensis >/dev/null || { echo "makensis is not installed (Debian's nsis)" >&2; exit 2; }
voiceDll=$(readlink -f "${3:?usage: installer_test.sh BUILD_DIR KEELMARK.EXE RECORDING_VOICE.DLL}")
source "$(dirname "$0")/../terminal/harness.sh" "$2"
built=$game
# Wine is slow to start and heavy to run beside the polling.
pollInterval=0.1
started=$SECONDS

# The prefix has the tests' recording voice as "SAPI.SpVoice", which writes
# what each game said into $work/voice.log.
source "$(dirname "$0")/wine_prefix.sh"
MakeWinePrefix
RegisterRecordingVoice "$voiceDll" "$work/voice.log"


# --- The packages ------------------------------------------------------------
packages=$work/packages
(cd "$buildDir" && cpack -G "NSIS;ZIP" -B "$packages" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log" >&2; echo "FAIL: cpack could not make the packages" >&2; exit 1; }
installer=$(ls "$packages"/keelmark-*-win64.exe 2>/dev/null | head -n 1)
zip=$(ls "$packages"/keelmark-*-win64.zip 2>/dev/null | head -n 1)
[[ -n $installer && -n $zip ]] ||
  { echo "FAIL: cpack made no installer or no zip:" $(ls "$packages") >&2; exit 1; }
Note "made $(basename "$installer") and $(basename "$zip")"
[[ $(file -b "$installer") == PE32+*x86-64* ]] ||
  Fail "the installer is not a 64-bit program: $(file -b "$installer")"

# --- Where the installer puts things (all users: Wine runs it as an
# administrator), and the registry as wineserver saved it ----------------------
installDir="$WINEPREFIX/drive_c/Program Files/Keelmark"
startMenuDir="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Keelmark"
shortcut="$startMenuDir/Keelmark.lnk"
uninstallKey='[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Keelmark]'

# The values of one key in system.reg, up to the blank line that ends it.
# (The key goes through the environment: awk -v would undo its backslashes.)
KeyValues() { key=$1 awk 'index($0, ENVIRON["key"]) == 1 { inKey = 1; next } inKey && /^$/ { exit } inKey' "$WINEPREFIX/system.reg"; }
HasKey() { grep -qiF "$1" "$WINEPREFIX/system.reg"; }

# PlayToRoundTwo FOLDER WHAT: the game in FOLDER, in a console drawn into
# tmux: "auto", a shot, round 2, "quit", and status 0.
PlayToRoundTwo() {
  local folder=$1 what=$2
  rm -f "$work/status" "$work/voice.log"
  cat >"$work/run.sh" <<EOF
cd "$folder" || exit 1
wine keelmark.exe
echo \$? >"$work/status.now"
wineserver -w
mv "$work/status.now" "$work/status"
EOF
  Tmux new-session -d -s game -x 80 -y 25 -e LANG=C.UTF-8 -e TERM=tmux-256color \
    -e "KEELMARK_VOICE_LOG=$KEELMARK_VOICE_LOG" "bash $work/run.sh; sleep 600" ||
    { echo "tmux would not start" >&2; exit 2; }
  spoken=()
  if WaitForText 3 1 "Press any key to continue." 60; then
    WaitForText 1 1 " Keelmark version " 5
    spoken+=("$(TextAt 1 1 80 | sed 's/ *$//')$(TextAt 2 1 80 | sed 's/ *$//')" "Press any key to continue.")
    TypeLine "auto"
    spoken+=("auto" "Generating ship locations, please wait." "round  1" "Coordinates?")
    WaitForText 24 1 "coordinates: " 30 && TypeLine "c7"
    spoken+=("c7")
    if WaitForText 1 60 "Round       2 " 30; then
      LoadScreen
      ReadComputerSquare || Fail "$what: no square after 'Computer chooses: '"
      spoken+=("Computer chooses: $(sed 's/ *$//' <<<"$computerText")" "round  2" "Coordinates?")
    else
      Fail "$what: round 2 never came"
    fi
    WaitForText 24 1 "coordinates: " 20
    TypeLine "quit"
    spoken+=("quit")
    if WaitUntil 30 test -e "$work/status"; then
      [[ $(cat "$work/status") == 0 ]] || Fail "$what: the game ended with status $(cat "$work/status")"
      CheckVoiceLog "$what"
    else
      Fail "$what: the game did not end after \"quit\""
    fi
  else
    Fail "$what: the title never showed"
  fi
  Tmux kill-session -t game 2>/dev/null
  # A game that never ended would keep the prefix's server waiting forever.
  [[ -e $work/status ]] || wineserver -k
  wineserver -w
}

# The game the Start-menu shortcut started: a process of this prefix whose
# command line is the installed keelmark.exe. Sets shortcutGame.
FindShortcutGame() {
  local pid
  for pid in $(pgrep -f 'keelmark\.exe'); do
    [[ $(tr '\000' ' ' </proc/"$pid"/cmdline 2>/dev/null) == 'C:\Program Files\Keelmark\keelmark.exe'* ]] || continue
    tr '\000' '\n' </proc/"$pid"/environ 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    shortcutGame=$pid
    return 0
  done
  return 1
}

# --- Install -----------------------------------------------------------------
step=$SECONDS
wine "$installer" /S >"$work/install.log" 2>&1
wineserver -w
Note "installed in $((SECONDS - step)) s"
if [[ -f $installDir/keelmark.exe ]]; then
  cmp -s "$built" "$installDir/keelmark.exe" || Fail "the installed keelmark.exe is not the one built"
else
  Fail "no keelmark.exe under Program Files:" $(ls "$WINEPREFIX/drive_c/Program Files"* 2>&1)
fi
cmp -s "$installDir/COPYING.txt" "$(dirname "$0")/../../COPYING" || Fail "the licence is not installed beside the game"
[[ -f $installDir/README.txt ]] || Fail "the README is not installed beside the game"
[[ -f $installDir/Uninstall.exe ]] || Fail "no uninstaller in the game's folder"
# Opened as from the Start menu, the shortcut starts the installed game in a
# console of its own. Under Wine without a display that console shows
# nowhere, and the game may find it no console and end at once, before it
# could be seen running; so the process that Wine made from the shortcut is
# read from Wine's own trace of process creation, and a game still running
# is ended by its process id.
step=$SECONDS
if [[ -f $shortcut ]]; then
  WINEDEBUG=+process timeout 30 wine start /unix "$shortcut" >"$work/shortcut.log" 2>&1
  grep -qF 'NtCreateUserProcess L"\\??\\C:\\Program Files\\Keelmark\\keelmark.exe"' "$work/shortcut.log" ||
    Fail "the Start-menu shortcut did not start the installed keelmark.exe"
  FindShortcutGame && kill -KILL "$shortcutGame"
  # A console left without its game, on a busy machine, may not go by
  # itself: the prefix's processes are ended after a while.
  timeout 20 wineserver -w || wineserver -k
  wineserver -w
else
  Fail "no Start-menu shortcut at ${shortcut#"$WINEPREFIX/"}"
fi
Note "the shortcut's game started and ended in $((SECONDS - step)) s"
if HasKey "$uninstallKey"; then
  uninstallValues=$(KeyValues "$uninstallKey")
  grep -q '^"DisplayName"="Keelmark ' <<<"$uninstallValues" || Fail "the uninstall entry has no display name"
  grep -qiF '"UninstallString"="\"C:\\Program Files\\Keelmark\\Uninstall.exe\""' <<<"$uninstallValues" ||
    Fail "the uninstall entry does not name the uninstaller: $(grep UninstallString <<<"$uninstallValues")"
else
  Fail "no uninstall entry in the 64-bit registry"
fi

# --- The installed game --------------------------------------------------------
step=$SECONDS
[[ -f $installDir/keelmark.exe ]] && PlayToRoundTwo "$installDir" "the installed game"
Note "the installed game played in $((SECONDS - step)) s"

# --- Uninstall -----------------------------------------------------------------
step=$SECONDS
wine "$installDir/Uninstall.exe" /S >"$work/uninstall.log" 2>&1
wineserver -w
Note "uninstalled in $((SECONDS - step)) s"
[[ ! -e $installDir ]] || Fail "the game's folder is still there after uninstalling:" $(ls "$installDir")
[[ ! -e $shortcut ]] || Fail "the Start-menu shortcut is still there after uninstalling"
[[ ! -e $startMenuDir ]] || Fail "the Start-menu folder is still there after uninstalling"
HasKey "$uninstallKey" && Fail "the uninstall entry is still there after uninstalling"

# --- The portable zip ------------------------------------------------------------
step=$SECONDS
unpacked=$work/unpacked
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip") || Fail "the zip would not unpack"
zipDir="$unpacked/$(basename "$zip" .zip)"
cmp -s "$built" "$zipDir/keelmark.exe" || Fail "the zip's keelmark.exe is not the one built"
[[ -f $zipDir/README.txt && -f $zipDir/COPYING.txt ]] || Fail "the zip lacks the README or the licence"
[[ -f $zipDir/keelmark.exe ]] && PlayToRoundTwo "$zipDir" "the zip's game"
Note "the zip's game played in $((SECONDS - step)) s"

Note "took $((SECONDS - started)) s"
Finish
