#!/usr/bin/env bash
# What keys reach the game through a real terminal. Control characters that
# a cooked terminal would act on (Ctrl+C, Ctrl+\, Ctrl+Z, Ctrl+S) arrive as
# characters and are echoed as their glyphs; keys without a character and
# Alt with a letter echo nothing; a lone Esc is the character 27; typed
# letters come back in the game's 8-bit code page; and a mouse click far
# down a tall window still reports its row.
# Usage: keys_test.sh GAME [TERMINAL-TYPE]. A terminal type whose backspace
# key is ^H (vt220) makes the other backspace code the plain character.

source "$(dirname "$0")/harness.sh" "$1"

StartTerminal 80 25 "${2:-tmux-256color}"
StartGame

AutoAtTitle

# Each key is sent once the one before has been echoed, so nothing depends
# on how quickly the keys follow each other.
expected=""
SendAndExpect() {
  expected+=$1
  Keys "${@:2}"
  WaitForText 24 14 "$expected"
}

SendAndExpect "♥" C-c
SendAndExpect "∟" 'C-\'
SendAndExpect "→" C-z
SendAndExpect "‼" C-s
# Both backspace codes come as the character 8, echoed as its glyph.
SendAndExpect "◘" BSpace
SendAndExpect "◘" C-h
# Arrows, function keys, Home and Alt+letter give nothing to echo; the "b"
# after them lands right after the last glyph. Keys with modifiers only
# where the terminal type knows them.
modifiedKeys=()
[[ ${2:-tmux-256color} == tmux-256color ]] && modifiedKeys=(C-Up S-F3)
SendAndExpect "b" Up F1 "${modifiedKeys[@]}" F12 Home PageDown M-a b
SendAndExpect "←" Escape
# é is in the code page (130); the euro sign is not and is dropped.
Type "é€"
Type "5"
expected+="é5"
WaitForText 24 14 "$expected"
# The game is still running after all of that: Enter ends the entry (a
# refused one, "bé5"), echoed as the carriage return's glyph.
SendAndExpect "♪" Enter
GameIsRunning || Fail "the game ended while keys were typed"

# A click on row 60 of a tall window: the entry is the square text of that
# row and column, echoed on row 24 (and refused, since row 60 is no square).
# Only where the terminal type has mouse reporting.
if [[ $(Tmux display -p -t game '#{mouse_any_flag}') == 1 ]]; then
  ResizeWindow 80 62
  LeftClick 60 5
  WaitForText 24 14 "| 5"
  # The board is still in its place after the window grew.
  TextIsAt 1 1 "xxxxxxxxxx    A" || Fail "the board moved when the window grew"
  TextIsAt 11 1 "1234567890" || Fail "the labels moved when the window grew"
  ResizeWindow 80 25
  WaitUntil 5 ScreenIsSteady
else
  Note "no mouse reporting on this terminal type"
fi

Keys Enter
QuitAndExpectCleanExit

Finish
