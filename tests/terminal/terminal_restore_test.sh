#!/usr/bin/env bash
# Every way out of the game hands the terminal back as the shell had it:
# the same stty settings, the shell's own screen, no mouse reporting, no
# keypad mode, a visible cursor. "quit" ends with status 0; a signal sent
# from outside ends the game by that signal, after the terminal is restored.

source "$(dirname "$0")/harness.sh" "$1"

StartTerminal 80 25

# WaitForTitle: the game is past its start-up, curses and mouse included.
WaitForTitle() {
  WaitForText 3 1 "Press any key to continue." || return 1
  WaitUntil 5 test "$(Tmux display -p -t game '#{mouse_any_flag}')" = 1 ||
    { Fail "the game never turned mouse reporting on"; return 1; }
}

Note "quit with standard input not the terminal"
StartGame "</dev/null"
if WaitForTitle; then
  QuitAndExpectCleanExit "\"quit\" with standard input redirected"
fi

# Signals from outside, during play: the game is waiting for coordinates
# with the mouse on and the boards drawn. Every signal whose default action
# ends the process, those that leave a core file among them.
for signalName in TERM HUP INT QUIT ABRT SEGV PIPE USR1 USR2 ALRM VTALRM PROF XCPU XFSZ \
  IO SYS TRAP BUS FPE ILL PWR STKFLT RTMIN RTMIN+5 RTMAX; do
  Note "SIG$signalName during play"
  StartGame
  WaitForTitle && AutoAtTitle || continue
  kill -s "$signalName" "$(GamePid)"
  ExpectGameEnd $((128 + $(kill -l "$signalName"))) "SIG$signalName"
done

# The terminal itself goes away under a game that ignores hang-up signals:
# its input fails, and the game ends rather than waiting on a dead terminal.
Note "the terminal closed under a game started with nohup"
gameEnvironment="nohup"
StartGame
if WaitForTitle; then
  Tmux kill-pane -t game
  WaitUntil 5 GameProcessIsGone || Fail "the game still runs after its terminal closed"
fi

Finish
