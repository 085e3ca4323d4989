#!/usr/bin/env bash
# The boards never scroll: however long the echo of an entry grows, and
# however many entries are refused, every square stays where it is drawn, so
# a click names the square under it.

source "$(dirname "$0")/harness.sh" "$1"

StartTerminal 80 25

ExpectBoardsInPlace() {
  Note "$1: are the boards in place?"
  LoadScreen
  ExpectBoardLabels
}

# ExpectClickMarks ROW COLUMN WHAT: a click on the target board marks the
# square under it, not the one above.
ExpectClickMarks() {
  LeftClick "$1" "$2"
  WaitUntil 10 TargetSquareIsMarked "$1" "$2" || Fail "$3: no mark at row $1, column $2"
  TargetSquareIsMarked $(($1 - 1)) "$2" && Fail "$3: the click marked row $(($1 - 1))"
  ExpectBoardsInPlace "$3, after the shot"
}

StartGame
AutoAtTitle
WaitUntil 5 ScreenIsSteady

Note "200 times Enter"
enters=()
for ((k = 0; k < 200; k++)); do enters+=(Enter); done
Keys "${enters[@]}"
WaitUntil 20 ScreenIsSteady
ExpectBoardsInPlace "after 200 times Enter"
ExpectClickMarks 3 3 "after 200 times Enter"

Note "150 characters typed"
WaitForText 24 1 "coordinates: "
Type "$(printf 'a%.0s' {1..150})"
WaitUntil 10 ScreenIsSteady
ExpectBoardsInPlace "after 150 characters"
# The click replaces what was typed; C3 was fired at already, so D4.
ExpectClickMarks 4 4 "after 150 characters"

QuitAndExpectCleanExit

Finish
