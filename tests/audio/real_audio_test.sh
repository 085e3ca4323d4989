#!/usr/bin/env bash
# The real game heard through a private PulseAudio server: "auto", a shot,
# the same square again, a second shot, "quit", with everything the game
# plays recorded from the server's null sink. The recording must hold the
# game's sounds in the game's order: speech before the first clip; for each
# shot DROP and the clip the screen shows (MISS for a red "0", HIT for a blue
# "o"), then the computer's square spoken and its DROP and MISS or HIT (and
# SINK when that sank a ship); BUZZER alone for the square fired at before;
# each clip whole, nothing over anything else, and no long silence inside
# the game's own strings of sounds.
#
# Usage: real_audio_test.sh GAME VOICE [FIND_CLIPS]
#   VOICE speech-dispatcher: the game reaches the speech-dispatcher it
#         spawns in the private runtime folder;
#   VOICE espeak-ng: no speech-dispatcher answers, so the game speaks with
#         the espeak-ng library through its own audio output.

here=$(cd "$(dirname "$0")" && pwd)
source "$here/../terminal/harness.sh" "$1"
voice=${2:-}
findClips=$(readlink -f "${3:-$(dirname "$game")/tests/audio/keelmark_find_clips}")
clipFolder="$here/../../resources/sounds"
[[ -x $findClips ]] || { echo "no find_clips at '$findClips'" >&2; exit 2; }
source "$here/pulse_server.sh"
source "$here/timeline.sh"

StartAudioServer
# This test listens: the game gets the sound server, not the silence the
# screen tests ask for.
silentEnvironment=""
# On a desktop the sound threads get real-time priority from the session;
# here the game shares two cores with whatever else runs, and a sound thread
# that waits its turn leaves gaps in the sound. The game (with the
# speech-dispatcher it spawns) runs at the sound server's own priority, so
# that a gap heard here is the game's doing, not the neighbours'.
if nice -n -10 true 2>/dev/null; then
  gameEnvironment="nice -n -10"
else
  Note "cannot raise the game's priority; other load may break its sound up"
fi
case $voice in
  speech-dispatcher) ;;
  espeak-ng)
    # An address where nothing listens, and no server to start in its place
    # (libspeechd would start its own default one otherwise): the game falls
    # back to its own espeak-ng voice.
    export SPEECHD_ADDRESS="unix_socket:$audioDir/no-speech-dispatcher" SPEECHD_CMD=/bin/false
    ;;
  *)
    echo "VOICE must be speech-dispatcher or espeak-ng, not '$voice'" >&2
    exit 2
    ;;
esac

# The tmux server, and so the game, inherit the sound server's settings.
StartTerminal 80 25
StartRecording "$work/recording.raw"
testStarted=$SECONDS
StartGame

# --- Screen states the test waits for -----------------------------------
#
# The game speaks before it prints a prompt, and clears the echo of the last
# entry only after "Coordinates?" has been said, so a prompt with an empty
# entry on the screen means the game has said everything and waits.

# The entry field of the coordinates prompt is empty.
EntryFieldIsEmpty() { TextIsAt 24 1 "coordinates:     "; }

RoundIsShown() { [[ $(TextAt 1 60 14) =~ ^Round\ +$1\ *$ ]]; }

# Like WaitUntil, but looking four times a second: the screen is read by
# starting tmux clients, and a test that keeps two cores busy while the
# game plays would starve the game's sound of its time.
WaitCalmly() { pollInterval=0.25 WaitUntil "$@"; }

AwaitPrompt() {
  local round=$1
  WaitCalmly 40 RoundIsShown "$round" || { Fail "round $round never showed"; return 1; }
  WaitCalmly 40 EntryFieldIsEmpty || { Fail "the prompt of round $round never came back"; return 1; }
  # Nothing is still on its way out of the server when the entry is typed,
  # so that the entry falls in a silence of the recording.
  WaitUntil 10 RecordingIsQuietFor "$work/recording.raw" 0.4 || Fail "sound went on at the prompt of round $round"
}

TypeEntry() {
  Mark "$1"
  Type "$1"
  Keys Enter
}

# What the player's shot at ROW COLUMN of the target board showed: MISS for
# a red "0", HIT for a blue "o".
PlayerOutcome() {
  local row=$1 column=$2
  LoadScreen
  case "${cellGlyph[$row,$column]:-}${cellForeground[$row,$column]:-}" in
    04) printf MISS ;;
    o1) printf HIT ;;
    *) printf '?' ;;
  esac
}

# The home board's ship letters, noted before the computer fires, so that a
# hit can be told from a hit that sinks (no square of that ship left).
declare -A homeLetter=()
NoteHomeBoard() {
  LoadScreen
  local row column
  for ((row = 13; row <= 22; row++)); do
    for ((column = 1; column <= 10; column++)); do
      homeLetter[$row,$column]=${cellGlyph[$row,$column]:-}
    done
  done
}

# What the computer's last shot (named on row 25) did to the home board:
# MISS, HIT, or "HIT SINK" when no square of the ship is left standing.
ComputerOutcome() {
  LoadScreen
  if ! ReadComputerSquare; then
    printf '?'
    return
  fi
  local row=$computerRow column=$computerColumn
  case "${cellGlyph[$row,$column]:-}" in
    0) printf MISS ;;
    O)
      local ship=${homeLetter[$row,$column]} r c left=0
      for ((r = 13; r <= 22; r++)); do
        for ((c = 1; c <= 10; c++)); do
          [[ ${cellGlyph[$r,$c]:-} == "$ship" ]] && left=1
        done
      done
      if ((left)); then printf HIT; else printf 'HIT SINK'; fi
      ;;
    *) printf '?' ;;
  esac
}

# --- The game -------------------------------------------------------------
WaitCalmly 40 TextIsAt 3 1 "Press any key to continue." || Fail "the title's prompt never showed"
# The voice asked for is the one speaking: a speech-dispatcher spawned in
# the private runtime folder, or none at all.
speechServerPid=$(cat "$audioDir/speech-dispatcher/pid/speech-dispatcher.pid" 2>/dev/null)
case $voice in
  speech-dispatcher)
    [[ -n $speechServerPid ]] && kill -0 "$speechServerPid" 2>/dev/null ||
      Fail "no speech-dispatcher is running for the game; its own voice must have spoken instead"
    ;;
  espeak-ng)
    [[ -z $speechServerPid ]] || Fail "a speech-dispatcher was started though none should answer"
    ;;
esac
WaitUntil 10 RecordingIsQuietFor "$work/recording.raw" 0.4
TypeEntry auto
AwaitPrompt 1
NoteHomeBoard

TypeEntry a1
AwaitPrompt 2
player1=$(PlayerOutcome 1 1)
computer1=$(ComputerOutcome)
NoteHomeBoard

# The same square again: refused with the buzzer, and the round asked again.
TypeEntry a1
WaitForText 24 14 "a1" 10
AwaitPrompt 2
RoundIsShown 2 || Fail "a refused square moved the game on"

TypeEntry j10
AwaitPrompt 3
player2=$(PlayerOutcome 10 10)
computer2=$(ComputerOutcome)

Note "player: a1 $player1, j10 $player2; computer: $computer1, then $computer2"
for outcome in "$player1" "$player2" "$computer1" "$computer2"; do
  [[ $outcome != *'?'* ]] || Fail "a shot's mark could not be read from the screen"
done

Mark quit
QuitAndExpectCleanExit
sleep 0.5
StopRecording
Note "played for $((SECONDS - testStarted)) s; recorded $(RecordedSeconds "$work/recording.raw") s"

# --- What was heard -------------------------------------------------------
AnalyseRecording "$work/recording.raw" "$work/timeline.txt" || Finish
LoadTimeline "$work/timeline.txt"
PrintTimeline

# A shot: DROP, then what it did. A sinking hit's SINK comes after its HIT.
Shot() { printf 'DROP %s' "$1"; }
expected="speech \[auto\] speech"
expected+=" \[a1\] speech $(Shot "$player1") speech $(Shot "$computer1") speech"
expected+=" \[a1\] speech BUZZER speech"
expected+=" \[j10\] speech $(Shot "$player2") speech $(Shot "$computer2") speech"
expected+=" \[quit\] speech"
ExpectSequence "$expected"
ExpectClipsWhole
ReportDropouts
ExpectNoOverlap
ExpectGapsShort 1500
# Every entry is said back, every clip is followed by speech, and the
# computer names its square: no run of speech is shorter than a word.
ExpectSpeechRunsAtLeast 150
# The title and the first prompt are a long sentence and a short one.
firstEntry=-1
for i in "${!evKind[@]}"; do
  if [[ -n $(MarksBefore "$i") ]]; then
    firstEntry=$i
    break
  fi
done
if ((firstEntry > 0)); then
  opening=$(SoundBetween -1 "$firstEntry")
  ((opening >= 3000)) || Fail "only $(Seconds "$opening") s of speech before the first entry; the title and prompt take longer"
fi

if ((failures > 0)); then
  cp "$work/recording.raw" "${TMPDIR:-/tmp}/keelmark-audio-failed-$voice.raw" 2>/dev/null &&
    echo "the recording is kept in ${TMPDIR:-/tmp}/keelmark-audio-failed-$voice.raw (s16le mono $audioRate Hz)" >&2
fi
Finish
