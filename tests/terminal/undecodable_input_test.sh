#!/usr/bin/env bash
# Bytes the terminal's encoding cannot decode are single keys: each shows as
# one glyph in the echo, Backspace takes it away again, and every key typed
# after it arrives. However many of them come, the game goes on.

source "$(dirname "$0")/harness.sh" "$1"

StartTerminal 80 25

# Pastes a file's bytes into the game as they are.
PasteBytes() {
  Tmux load-buffer -b raw "$1"
  Tmux paste-buffer -d -r -b raw -t game
}

Note "a pasted 0xFF, then b2"
StartGame
if AutoAtTitle; then
  printf '\xff' >"$work/ff"
  PasteBytes "$work/ff"
  Type "x"
  # 0xFF is the code page's non-breaking space: a blank cell before the x.
  WaitForText 24 14 $'\u00a0x'
  Keys BSpace BSpace
  TypeLine "b2"
  WaitUntil 10 TargetSquareIsMarked 2 2 || Fail "0xFF: the shot at B2 after it was not fired"
  WaitForText 24 1 "coordinates: "
  QuitAndExpectCleanExit "\"quit\" after 0xFF"
fi

Note "14 KB of 0xFF, then quit"
StartGame
if AutoAtTitle; then
  head -c 14336 /dev/zero | tr '\0' '\377' >"$work/noise"
  PasteBytes "$work/noise"
  Keys Enter
  WaitForText 24 1 "coordinates: " 20
  GameIsRunning || Fail "the game ended after 14 KB of 0xFF"
  QuitAndExpectCleanExit "\"quit\" after 14 KB of 0xFF"
fi

Note "e acute typed in the C locale, then b2"
gameEnvironment="LANG=C LC_ALL=C"
StartGame
if AutoAtTitle; then
  # Two bytes in UTF-8, neither a character in the C locale: two keys, two
  # stand-in glyphs.
  Type "é"
  Type "x"
  WaitForText 24 14 "??x"
  Keys BSpace BSpace BSpace
  TypeLine "b2"
  WaitUntil 10 TargetSquareIsMarked 2 2 || Fail "C locale: the shot at B2 after é was not fired"
  WaitForText 24 1 "coordinates: "
  QuitAndExpectCleanExit "\"quit\" in the C locale"
fi

Finish
