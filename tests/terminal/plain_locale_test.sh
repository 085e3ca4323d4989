#!/usr/bin/env bash
# The game started in a locale without UTF-8: the screen keeps its columns.
# A byte whose glyph the locale cannot show stands as "?" in its own cell,
# and the game plays on.

source "$(dirname "$0")/harness.sh" "$1"

StartTerminal 80 25
gameEnvironment="LANG=C LC_ALL=C"
StartGame

WaitForText 1 1 " Keelmark version 1.0-pre5"
AutoAtTitle
TextIsAt 1 1 "xxxxxxxxxx    A" || Fail "the target board is not in place"

# Ctrl+C is the character 3, shown as its glyph where the locale has one;
# here a stand-in, one cell wide, and the "b" after it in the next column.
Keys C-c
Type "b"
WaitForText 24 14 "?b"
Keys Enter
QuitAndExpectCleanExit

Finish
