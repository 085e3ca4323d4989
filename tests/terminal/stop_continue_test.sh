#!/usr/bin/env bash
# A game stopped and continued from the shell: while it is stopped by a stop
# request the shell has its own terminal back; once continued ("fg") the game
# takes the terminal back (keys unechoed and one by one, Ctrl+C a character,
# mouse reports, its own screen) and repaints everything it had drawn.

source "$(dirname "$0")/harness.sh" "$1"

StartTerminal 80 25

# Plays to one shot fired, so that a repaint has marks to show, notes that
# screen, and stops the game with signal $1.
PlayAndStop() {
  StartGameAsJob
  AutoAtTitle || return 1
  TypeLine "a1"
  WaitUntil 10 TargetSquareIsMarked 1 1 || { Fail "the shot at A1 left no mark"; return 1; }
  WaitForText 24 1 "coordinates: " || return 1
  WaitUntil 5 ScreenIsSteady
  screenBeforeStop=$(Tmux capture-pane -p -e -t game)
  kill -s "$1" "$(GamePid)"
  WaitUntil 5 ScreenShows "Stopped" || Fail "SIG$1: the shell did not report the game stopped"
}

ScreenIsAsBeforeStop() { [[ $(Tmux capture-pane -p -e -t game) == "$screenBeforeStop" ]]; }

# What the shell and the player see once the game runs again: the very
# screen it had before it stopped, every cell and colour, and the game's
# modes.
ExpectGameHasTerminal() {
  local what=$1 modes flags
  WaitUntil 5 ScreenIsAsBeforeStop ||
    Fail "$what: the screen was not painted again as it was:
$(diff <(printf '%s\n' "$screenBeforeStop" | cat -v) <(Tmux capture-pane -p -e -t game | cat -v))"
  modes=$(stty -a -F "$(Tmux display -p -t game "#{pane_tty}")")
  [[ $modes == *-icanon* && $modes == *-echo\ * && $modes == *-isig* ]] ||
    Fail "$what: the terminal is not in the game's modes: $modes"
  flags=$(Tmux display -p -t game 'alternate=#{alternate_on} mouse=#{mouse_any_flag}')
  [[ $flags == "alternate=1 mouse=1" ]] || Fail "$what: terminal left as $flags"
  # Keys arrive one by one, and Ctrl+C is a character, not an interrupt.
  Keys C-c
  WaitForText 24 14 "♥" || Fail "$what: Ctrl+C did not arrive as a character"
  GameIsRunning || Fail "$what: the game ended"
  Keys BSpace
  # A click still fires: C3 on the target board.
  LeftClick 3 3
  WaitUntil 10 TargetSquareIsMarked 3 3 || Fail "$what: the click on C3 left no mark"
  WaitForText 24 1 "coordinates: "
}

# The last way is continued in the background first, then brought to the
# front.
for way in TSTP STOP TSTP-bg; do
  stopSignal=${way%-bg}
  Note "SIG$way, then fg"
  PlayAndStop "$stopSignal" || continue
  if [[ $stopSignal == TSTP ]]; then
    # The game handed the terminal back before it stopped.
    [[ $(Tmux display -p -t game 'alternate=#{alternate_on} mouse=#{mouse_any_flag}') == \
      "alternate=0 mouse=0" ]] || Fail "SIGTSTP: the game's screen modes stayed on while it was stopped"
    WaitUntil 5 ScreenShows "before the game" || Fail "SIGTSTP: the shell's screen did not come back"
  fi
  if [[ $way == *-bg ]]; then
    Tmux send-keys -t game "bg" Enter
    sleep 0.3
    GameIsRunning || Fail "bg: the game ended in the background"
  fi
  Tmux send-keys -t game "fg" Enter
  ExpectGameHasTerminal "SIG$way and fg"
  QuitAndExpectCleanExit "\"quit\" after SIG$way and fg"
done

Finish
