#!/usr/bin/env bash
# Placing the destroyer by hand with two left clicks on the empty board: the
# first click leaves the yellow start marker, the second completes the ship
# and the submarine is asked for next.

source "$(dirname "$0")/harness.sh" "$1"

StartTerminal 80 25
StartGame

WaitForText 3 1 "Press any key to continue."
Keys Enter
WaitForText 15 1 "Enter coordinates for destroyer (2 squares)"
LoadScreen
for ((row = 1; row <= 10; row++)); do
  ExpectText "$row" 1 "xxxxxxxxxx" 7
done
ExpectText 11 1 "1234567890" 7
ExpectText 15 1 "Enter coordinates for destroyer (2 squares)" 7

# The first end: the click is echoed as a square text on row 24 and marked
# on the board in yellow.
LeftClick 4 6
WaitForText 24 14 "D 6"
WaitUntil 5 TextIsAt 4 6 "X" || Fail "no start marker at row 4, column 6"
LoadScreen
ExpectCell 4 6 X 14
ExpectText 4 1 "xxxxx" 7
ExpectText 4 7 "xxxx" 7
ExpectText 24 14 "D 6" 7

# The second end, one square to the right, completes the destroyer; the
# second click gets no marker, and the next prompt takes the marker's colour.
LeftClick 4 7
WaitForText 17 1 "Enter coordinates for submarine (3 squares) "
LoadScreen
ExpectCell 4 6 X 14
ExpectCell 4 7 x 7
ExpectText 17 1 "Enter coordinates for submarine (3 squares)" 14
ExpectText 24 14 "D 7" 14

# A right click places nothing and marks nothing.
RightClick 6 2
Type "e"
WaitForText 17 45 "e"
LoadScreen
ExpectCell 6 2 x 7

Keys BSpace Enter
Type "quit"
Keys Enter
if WaitForGameEnd; then
  [[ $(cat "$work/status") == 0 ]] || Fail "\"quit\" ended the game with status $(cat "$work/status")"
  ExpectTerminalRestored "after \"quit\" during placement"
fi

Finish
