#!/usr/bin/env bash
# A double click is one click: its second press does not use up the next
# step of a placement. Double-click the destroyer's first square, then click
# its second: the destroyer is placed and the submarine is asked for.

source "$(dirname "$0")/harness.sh" "$1"

StartTerminal 80 25
StartGame

WaitForText 3 1 "Press any key to continue."
Keys Enter
WaitForText 15 1 "Enter coordinates for destroyer (2 squares)"
LeftClick 2 3
LeftClick 2 3
WaitUntil 5 TextIsAt 2 3 "X" || Fail "no start marker at row 2, column 3"
WaitUntil 5 ScreenIsSteady
LeftClick 2 4
WaitForText 17 1 "Enter coordinates for submarine (3 squares) "

QuitAndExpectCleanExit

Finish
