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

# Clicks the cell that shows C3 on the target board: C3 is marked there.
ExpectClickOnC3MarksC3() {
  local what=$1
  LeftClick 3 3
  WaitUntil 10 TargetSquareIsMarked 3 3 || Fail "$what: the click on C3 did not mark C3"
  TargetSquareIsMarked 2 3 && Fail "$what: the click on C3 marked B3"
  ExpectBoardsInPlace "$what, after the shot"
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
ExpectClickOnC3MarksC3 "after 200 times Enter"

Note "150 characters typed"
WaitForText 24 1 "coordinates: "
Type "$(printf 'a%.0s' {1..150})"
WaitUntil 10 ScreenIsSteady
ExpectBoardsInPlace "after 150 characters"
# The click replaces what was typed; C3 was fired at already, so D4.
LeftClick 4 4
WaitUntil 10 TargetSquareIsMarked 4 4 || Fail "after 150 characters: the click on D4 did not mark D4"
ExpectBoardsInPlace "after 150 characters, after the shot"

QuitAndExpectCleanExit

Finish
