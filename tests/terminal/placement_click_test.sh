#!/usr/bin/env bash
# Placing the destroyer by hand with two left clicks on the empty board: the
# first click leaves the yellow start marker, the second completes the ship
# and the submarine is asked for next. Each step is checked as a whole
# screen, text and colours (screens/placement_*.txt).

source "$(dirname "$0")/harness.sh" "$1"

StartTerminal 80 25
StartGame
PlaceByHandAtTitle
ExpectScreen placement_destroyer_asked

# The first end: the click is echoed as a square text on row 24 and marked
# on the board in yellow. It comes as a double click, which is one click: its
# second press must not take the next step of the placement.
LeftClick 4 6
LeftClick 4 6
WaitForText 24 14 "D 6"
WaitUntil 5 TextIsAt 4 6 "X" || Fail "no start marker at row 4, column 6"
ExpectScreen placement_destroyer_start

# The second end, one square to the right, completes the destroyer; the
# second click gets no marker, and the next prompt takes the marker's colour.
LeftClick 4 7
WaitForText 17 1 "Enter coordinates for submarine (3 squares) "
ExpectScreen placement_submarine_asked

# A right click places nothing and marks nothing.
RightClick 6 2
Type "e"
WaitForText 17 45 "e"
ExpectScreen placement_after_right_click

Keys BSpace Enter
QuitAndExpectCleanExit "after \"quit\" during placement"

Finish
