#!/usr/bin/env bash
# The game learns the real window size and every change of it: started in a
# window too small for the boards it says so and waits; once the window is
# large enough the title follows; a window resized during placement gets
# its screen painted again, in place (screens/window_*.txt). LINES and
# COLUMNS in the environment do not stand in for the window's size.

source "$(dirname "$0")/harness.sh" "$1"

StartTerminal 70 20
StartGame

WaitForText 1 1 "The window is too small for Keelmark"
# Wrapped at the real width of 70 columns, not at 80: row 1 is full and
# the message goes on in row 2.
WaitUntil 5 ScreenIsSteady
rowOne=$(TextAt 1 1 70)
[[ ${#rowOne} == 70 && $rowOne != *"  " ]] || Fail "the message should fill the 70 columns of row 1"
[[ -n $(TextAt 2 1 70 | tr -d ' ') ]] || Fail "the message should go on in row 2"

# Still too small in one direction.
ResizeWindow 80 24
sleep 0.3
WaitUntil 5 ScreenIsSteady
TextIsAt 1 1 " Keelmark version" && Fail "the title showed in a window of 24 rows"

ResizeWindow 80 25
WaitForText 3 1 "Press any key to continue."
ExpectScreen title

PlaceByHandAtTitle
LeftClick 2 3
WaitUntil 5 TextIsAt 2 3 "X" || Fail "no start marker at row 2, column 3"

# Larger: everything stays where it was, and the new area is blank.
ResizeWindow 100 30
ExpectScreen window_grown_to_100x30

# Back to 80x25: the same screen again, and the game goes on from there.
ResizeWindow 80 25
ExpectScreen window_back_to_80x25
LeftClick 2 4
WaitForText 17 1 "Enter coordinates for submarine (3 squares) "

QuitAndExpectCleanExit

# LINES and COLUMNS exported for some other program do not hide the real
# size: in an 80x25 window the game starts at once.
gameEnvironment="LINES=24 COLUMNS=70"
StartGame
WaitForText 3 1 "Press any key to continue." || Fail "LINES and COLUMNS won over the window's size"
QuitAndExpectCleanExit

Finish
