#!/usr/bin/env bash
# The real game heard through a private PulseAudio server, with either voice:
# the title, "auto", one shot, "quit" at the prompt of round 2. The null
# sink's recording must hold sound wherever the game speaks or plays, and
# the silence between the computer naming its square and that shot's DROP
# must be short: a voice that reports the end of its words late is heard as
# dead air in every turn.
#
# Usage: smoke_test.sh GAME VOICE
#   VOICE speech-dispatcher: the game reaches the speech-dispatcher it
#         spawns in the private runtime folder;
#   VOICE espeak-ng: no speech-dispatcher answers, so the game speaks with
#         the espeak-ng library through its own audio output.

here=$(cd "$(dirname "$0")" && pwd)
source "$here/../terminal/harness.sh" "$1"
voice=${2:-}
source "$here/pulse_server.sh"

# Dead air the player would notice after a spoken text, at most.
longestSilenceAfterSpeechMs=150
lateVoice="(at most $longestSilenceAfterSpeechMs ms): the voice returned long after its last word was heard; speech-dispatcher's end-of-speech report comes about 340 ms late, so a text is over at an index mark before its closing punctuation"

StartAudioServer
# This test listens: the game gets the sound server, not the silence the
# screen tests ask for. At the sound server's priority, a gap heard here is
# the game's doing, not that of whatever else shares the machine.
silentEnvironment=""
nice -n -10 true 2>/dev/null && gameEnvironment="nice -n -10"
case $voice in
  speech-dispatcher) ;;
  espeak-ng)
    # An address where nothing listens, and no server to start in its place.
    export SPEECHD_ADDRESS="unix_socket:$audioDir/no-speech-dispatcher" SPEECHD_CMD=/bin/false
    ;;
  *)
    echo "VOICE must be speech-dispatcher or espeak-ng, not '$voice'" >&2
    exit 2
    ;;
esac

# When the test typed or saw something, in milliseconds of the recording.
declare -A markAt=()
Mark() { markAt[$1]=$(RecordingTimeOf "$(AudioNow)"); }

# Reading the screen starts tmux clients; four times a second leaves the
# game's sound its share of two busy cores.
WaitCalmly() { pollInterval=0.25 WaitUntil "$@"; }
EntryFieldIsEmpty() { TextIsAt 24 1 "coordinates:     "; }
RoundIsShown() { [[ $(TextAt 1 60 14) =~ ^Round\ +$1\ *$ ]]; }
AwaitPrompt() {
  WaitCalmly 40 RoundIsShown "$1" || { Fail "round $1 never showed"; Finish; }
  WaitCalmly 40 EntryFieldIsEmpty || { Fail "the prompt of round $1 never came back"; Finish; }
  # The entry falls in a silence, so the sound before and after it counts
  # on the right side.
  WaitUntil 10 RecordingIsQuietFor "$work/recording.raw" 0.4 || Fail "sound went on at the prompt of round $1"
}
TypeEntry() {
  Mark "$1"
  Type "$1"
  Keys Enter
}

StartTerminal 80 25
StartRecording "$work/recording.raw"
StartGame
WaitCalmly 40 TextIsAt 3 1 "Press any key to continue." || { Fail "the title's prompt never showed"; Finish; }
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
TypeEntry a1
# The computer's square is printed once its voice has returned, just before
# its DROP: between the last look that did not find it and the first that
# did, the voice returned.
SquareIsShown() {
  local lookedAt
  lookedAt=$(AudioNow)
  ReadComputerSquare && return 0
  squareNotYetAt=$lookedAt
  return 1
}
squareNotYetAt=$(AudioNow)
pollInterval=0.1 WaitUntil 40 SquareIsShown || { Fail "the computer never named its square"; Finish; }
markAt[voiceReturnedAfter]=$(RecordingTimeOf "$squareNotYetAt")
Mark voiceReturnedBefore
AwaitPrompt 2
Mark quit
QuitAndExpectCleanExit
StopRecording

# Stretches of sound, "start end" in milliseconds: 1 ms windows with any
# sample above -60 dBFS, joined across silences under 5 ms.
od -An -v -td2 -w96 "$work/recording.raw" | awk '
  { loud = 0
    for (i = 1; i <= NF; i++) if ($i > 32 || $i < -32) { loud = 1; break }
    if (loud) {
      if (!started || NR - 1 - end >= 5) { if (started) print start, end; start = NR - 1; started = 1 }
      end = NR
    } }
  END { if (started) print start, end }' >"$work/spans.txt"
Note "$(wc -l <"$work/spans.txt") stretches of sound in $(RecordedSeconds "$work/recording.raw") s"

# Milliseconds of sound from FROM to TO.
SoundBetween() {
  awk -v from="$1" -v to="$2" '{ s = $1 > from ? $1 : from; e = $2 < to ? $2 : to; if (e > s) total += e - s }
    END { printf "%d", total }' "$work/spans.txt"
}
opening=$(SoundBetween 0 "${markAt[auto]}")
((opening >= 3000)) || Fail "only $opening ms of sound before \"auto\"; the title and its prompt take longer"
placing=$(SoundBetween "${markAt[auto]}" "${markAt[a1]}")
((placing >= 1500)) || Fail "only $placing ms of sound from \"auto\" to the first prompt; the game says more there"
# Two shots are four clips of at least 1.9 s each, with speech between them.
shots=$(SoundBetween "${markAt[a1]}" "${markAt[quit]}")
((shots >= 9000)) || Fail "only $shots ms of sound from the first shot to round 2; two shots sound longer"
Note "sound: $opening ms before \"auto\", $placing ms while placing, $shots ms for the two shots"

# The silence between the computer's square spoken and its DROP is the one
# around the moment its voice returned: the longest that reaches into that
# moment, widened by the sound server's latency.
silence=$(awk -v from=$((markAt[voiceReturnedAfter] - 50)) -v to=$((markAt[voiceReturnedBefore] + 100)) '
  NR > 1 && $1 > from && previousEnd < to && $1 - previousEnd > longest { longest = $1 - previousEnd }
  { previousEnd = $2 } END { print longest + 0 }' "$work/spans.txt")
Note "silence from the computer's square spoken to its DROP: $silence ms"
((silence <= longestSilenceAfterSpeechMs)) ||
  Fail "$silence ms of silence between \"Computer chooses: $(sed 's/ *$//' <<<"$computerText")\" and its DROP $lateVoice"

if ((failures > 0)); then
  cp "$work/recording.raw" "${TMPDIR:-/tmp}/keelmark-smoke-$voice.raw" 2>/dev/null &&
    echo "the recording is kept in ${TMPDIR:-/tmp}/keelmark-smoke-$voice.raw (s16le mono $audioRate Hz)" >&2
fi
Finish
