#!/usr/bin/env bash
# The real game in an 80x25 terminal: the title, "auto", a typed shot and a
# clicked shot, each checked with its colours; then "quit".
# Usage: play_screen_test.sh GAME [TERMINAL-TYPE]. On an eight-colour
# terminal the same colours must come out, intensity shown as bold.

source "$(dirname "$0")/harness.sh" "$1"

StartTerminal 80 25 "${2:-tmux-256color}"
StartGame

# --- Title and introduction, light grey on black -------------------------
# The cleared screen is light grey on black everywhere, not the terminal's
# own default colours (screens/title.txt).
WaitForText 3 1 "Press any key to continue."
ExpectScreen title
[[ $(Tmux display -p -t game '#{cursor_y},#{cursor_x}') == "3,0" ]] ||
  Fail "the cursor should wait at row 4, column 1"

# --- "auto" and the play screen ------------------------------------------
TypeLine "auto"
WaitForText 24 1 "coordinates: "
WaitForText 1 60 "Round       1"
LoadScreen
ExpectBoardsOfRoundOne
ExpectText 24 1 "coordinates: " 7
[[ $(Tmux display -p -t game '#{cursor_y},#{cursor_x}') == "23,13" ]] ||
  Fail "the cursor should wait at row 24, column 14"

# The square the computer announced on row 25 is the one marked on the home
# board.
CheckComputerShot() {
  ExpectText 25 20 "computer chooses: " 3
  if ! ReadComputerSquare; then
    Fail "round $1: no square after 'computer chooses: ', found '$computerText'"
  elif ! ReadShot "$computerRow" "$computerColumn"; then
    Fail "round $1: the computer's square $computerSquare shows $shot"
  fi
  markColour=${cellForeground[$computerRow,$computerColumn]:-}
}

CheckPlayerShot() { ReadShot "$1" "$2" || Fail "target square at row $1, column $2 shows $shot"; }

# --- A typed shot ---------------------------------------------------------
TypeLine "a1"
WaitForText 1 72 "2"
WaitForText 24 1 "coordinates: "
LoadScreen
CheckPlayerShot 1 1
ExpectText 1 2 "xxxxxxxxx" 7
ExpectText 2 1 "xxxxxxxxxx" 7
CheckComputerShot 2
# Round 2 is announced in the colour of the computer's last mark.
ExpectText 1 60 "Round " "$markColour"
ExpectCell 1 72 "2" "$markColour"
# The old echo is blanked over four columns; the Enter's own glyph stood in
# the fourth and is gone with it.
ExpectText 24 14 "    " "$markColour"

# --- A clicked shot at row 3, column 7 -----------------------------------
LeftClick 3 7
WaitForText 1 72 "3"
WaitForText 24 1 "coordinates: "
LoadScreen
CheckPlayerShot 3 7
ExpectText 3 1 "xxxxxx" 7
ExpectText 3 8 "xxx" 7
CheckComputerShot 3

# A right click is not a shot.
RightClick 5 5
Type "b"
WaitForText 24 14 "b"
LoadScreen
ExpectCell 5 5 x 7
ExpectCell 1 72 "3" "$markColour"
Keys BSpace Enter

# --- "quit" ends the game with status 0 and gives the shell back ---------
QuitAndExpectCleanExit

Finish
