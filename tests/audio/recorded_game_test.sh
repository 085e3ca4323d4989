#!/usr/bin/env bash
# A short game of the real binary in tmux, its sound written by SDL's disk
# driver: "auto", a shot, the same square again, a second shot, "quit". The
# test notes what the game must have said and played, in order, from what
# the screen shows (a red "0" is a MISS, a blue "o" a HIT; the computer's
# square is named on the bottom row), and keelmark_check_recording holds the
# recording to it sample for sample.
#
# Usage: recorded_game_test.sh GAME CHECK_RECORDING

here=$(cd "$(dirname "$0")" && pwd)
source "$here/../terminal/harness.sh" "$1"
checker=$(readlink -f "${2:-}")
[[ -x $checker ]] || { echo "no keelmark_check_recording at '${2:-}'" >&2; exit 2; }

# The disk driver stands in for the sound card and paces itself in real
# time, so silence in the file is silence a player would hear. Nothing
# answers for speech-dispatcher, so the game speaks with espeak-ng through
# the same device.
recording="$work/game.raw"
silentEnvironment=""
gameEnvironment="SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$recording"
gameEnvironment+=" SPEECHD_ADDRESS=unix_socket:$work/no-speech-server SPEECHD_CMD=/bin/false"
# The game shares two cores with whatever else runs; at a higher priority
# the pauses the check bounds are the game's, not the neighbours'.
nice -n -10 true 2>/dev/null && gameEnvironment+=" nice -n -10"
# Most of these pauses come from the device's buffers: the game waits for
# its last sound to leave them (about three buffers of 21 ms).
longestPauseMs=150

expected="$work/expected.txt"
: >"$expected"
Expect() { printf '%s\n' "$@" >>"$expected"; }

# The game speaks "Coordinates?" before it clears the last entry from the
# screen, so once AwaitPrompt is past it the game has said all it had to say.

# Numbers are spoken as they are printed, with the sign's column.
ExpectPrompt() { Expect "say round  $1" "say Coordinates?" wait; }

TypeEntry() { TypeLine "$1"; Expect "say $1"; }

# Reading the screen into cells takes the shell most of a second, which the
# game would spend waiting for the player: it is read once per prompt, and
# what follows reads it from there.

# The player's shot at ROW COLUMN of the target board.
ExpectPlayerShot() {
  ReadShot "$1" "$2" || { Fail "no shot's mark at row $1, column $2 of the target board"; Finish; }
  Expect "clip DROP" "clip $shot"
}

# The home board's hundred squares in one string, row by row; noted before
# the computer fires, it tells a hit from a hit that sinks (no square of
# that ship left).
HomeBoard() {
  local row column
  for ((row = 13; row <= 22; row++)); do
    for ((column = 1; column <= 10; column++)); do printf '%s' "${cellGlyph[$row,$column]:-.}"; done
  done
}
NoteHomeBoard() { homeBoard=$(HomeBoard); }

ExpectComputerShot() {
  ReadComputerSquare || { Fail "the computer's square is not on the bottom row"; Finish; }
  # The square is spoken as it is printed, a random one with its comma.
  Expect "say Computer chooses: $(sed "s/ *$//" <<<"$computerText")" "clip DROP"
  ReadShot "$computerRow" "$computerColumn" || { Fail "no mark of the computer's shot at $computerSquare"; Finish; }
  Expect "clip $shot"
  [[ $shot == HIT ]] || return 0
  local ship=${homeBoard:(computerRow - 13) * 10 + computerColumn - 1:1}
  [[ $(HomeBoard) == *"$ship"* ]] || Expect "clip SINK"
}

StartTerminal 80 25
StartGame
WaitUntil 40 TextIsAt 3 1 "Press any key to continue." || { Fail "the title's prompt never showed"; Finish; }
Expect "say $(RowText 1 | sed 's/ *$//')$(RowText 2 | sed 's/ *$//')" "say Press any key to continue." wait

TypeEntry auto
Expect "say Generating ship locations, please wait."
AwaitPrompt 1
ExpectPrompt 1
LoadScreen
NoteHomeBoard

TypeEntry a1
AwaitPrompt 2
LoadScreen
ExpectPlayerShot 1 1
ExpectComputerShot
ExpectPrompt 2
NoteHomeBoard

# The same square again: the buzzer alone, and the round asked again.
TypeEntry a1
Expect "clip BUZZER"
WaitForText 24 14 "a1" 10
AwaitPrompt 2
ExpectPrompt 2

TypeEntry j10
AwaitPrompt 3
LoadScreen
ExpectPlayerShot 10 10
ExpectComputerShot
ExpectPrompt 3

Expect "say quit"
QuitAndExpectCleanExit

if ! "$checker" "$recording" "$expected" "$longestPauseMs"; then
  Fail "the recorded game does not hold the sounds expected"
  cp "$recording" "${TMPDIR:-/tmp}/keelmark-recorded-game.raw" && cp "$expected" "${TMPDIR:-/tmp}/keelmark-recorded-game.txt" &&
    echo "kept: ${TMPDIR:-/tmp}/keelmark-recorded-game.raw (s16le stereo 48 kHz) and .txt" >&2
fi
Finish
