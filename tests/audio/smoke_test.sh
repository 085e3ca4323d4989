#!/usr/bin/env bash
# The real game heard through a private PulseAudio server, with either voice:
# the title, "auto", one shot, "quit" at the prompt of round 2. The sink's
# recording must hold sound wherever the game speaks or plays, and with
# speech-dispatcher the silence between a spoken text and the DROP after it
# must be short: a voice that reports the end of its words late is heard as
# dead air in every turn. (The disk-driver test holds espeak-ng's pauses to
# the sample.)
#
# Usage: smoke_test.sh GAME VOICE, VOICE speech-dispatcher (which the game
# spawns in the private runtime folder) or espeak-ng (its own voice).

here=$(cd "$(dirname "$0")" && pwd)
source "$here/../terminal/harness.sh" "$1"
voice=${2:-}
source "$here/pulse_server.sh"

# Dead air the player would notice after a spoken text, at most.
longestSilenceAfterSpeechMs=150

StartAudioServer
# This test listens: the game gets the sound server, not the silence the
# screen tests ask for. At the sound server's priority, a gap heard here is
# the game's doing, not that of whatever else shares the machine.
silentEnvironment=""
nice -n -10 true 2>/dev/null && gameEnvironment="nice -n -10"
# The game's own sound goes to the left of the sink and speech-dispatcher's
# to the right, so that where one ends and the other begins can be read off
# each side.
for side in game:front-left speech:front-right; do
  pactl load-module module-remap-sink sink_name="keelmark_${side%%:*}" master="$audioSink" channels=1 \
    master_channel_map="${side#*:}" channel_map=mono remix=no >/dev/null ||
    { echo "could not split the sink" >&2; exit 2; }
done
pactl set-default-sink keelmark_game
case $voice in
  speech-dispatcher)
    # libspeechd starts the server with this command when none answers.
    printf '#!/bin/sh\nPULSE_SINK=keelmark_speech exec speech-dispatcher "$@"\n' >"$audioDir/speech-dispatcher.sh"
    chmod +x "$audioDir/speech-dispatcher.sh"
    export SPEECHD_CMD="$audioDir/speech-dispatcher.sh"
    ;;
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
AwaitQuietPrompt() {
  pollInterval=0.25 AwaitPrompt "$1"
  # The entry falls in a silence, so the sound before and after it counts
  # on the right side.
  WaitUntil 10 RecordingIsQuietFor "$work/recording.raw" 0.4 || Fail "sound went on at the prompt of round $1"
}

StartTerminal 80 25
StartRecording "$work/recording.raw" 2
StartGame
pollInterval=0.25 WaitUntil 40 TextIsAt 3 1 "Press any key to continue." || { Fail "the title's prompt never showed"; Finish; }
speechServerPid=$(cat "$audioDir/speech-dispatcher/pid/speech-dispatcher.pid" 2>/dev/null)
if [[ $voice == speech-dispatcher ]]; then
  [[ -n $speechServerPid ]] && kill -0 "$speechServerPid" 2>/dev/null ||
    Fail "no speech-dispatcher is running for the game; its own voice must have spoken instead"
else
  [[ -z $speechServerPid ]] || Fail "a speech-dispatcher was started though none should answer"
fi
WaitUntil 10 RecordingIsQuietFor "$work/recording.raw" 0.4
Mark auto
TypeLine auto
AwaitQuietPrompt 1
Mark a1
TypeLine a1
AwaitQuietPrompt 2
Mark quit
QuitAndExpectCleanExit
StopRecording

# Stretches of sound, "side start end" in milliseconds (L the game's own
# sound, R speech-dispatcher's): 1 ms windows with any sample above -60 dBFS,
# joined across silences under 5 ms.
od -An -v -td2 -w192 "$work/recording.raw" | awk '
  function Stretch(side, loud) {
    if (!loud) return
    if (!(side in end)) start[side] = NR - 1
    else if (NR - 1 - end[side] >= 5) { print side, start[side], end[side]; start[side] = NR - 1 }
    end[side] = NR
  }
  { left = 0; right = 0
    for (i = 1; i <= NF; i += 2) if ($i > 32 || $i < -32) { left = 1; break }
    for (i = 2; i <= NF; i += 2) if ($i > 32 || $i < -32) { right = 1; break }
    Stretch("L", left); Stretch("R", right) }
  END { for (side in end) print side, start[side], end[side] }' | sort -k2,2n >"$work/spans.txt"
Note "$(wc -l <"$work/spans.txt") stretches of sound in $(RecordedSeconds "$work/recording.raw") s"

# Milliseconds of sound from FROM to TO, on either side.
SoundBetween() {
  awk -v from="$1" -v to="$2" '{ s = $2 > from ? $2 : from; e = $3 < to ? $3 : to; if (e > s) total += e - s }
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

if [[ $voice == speech-dispatcher ]]; then
  speech=$(awk -v from="${markAt[a1]}" -v to="${markAt[quit]}" '$1 == "R" && $2 >= from && $3 <= to { t += $3 - $2 } END { print t + 0 }' "$work/spans.txt")
  ((speech >= 1000)) || Fail "only $speech ms of speech-dispatcher's voice from \"a1\" to round 2; it says back the entry and names the computer's square"
  # Each shot's clips start after the voice: the silence from the end of the
  # speech before to the first clip of each string of clips. A voice that
  # returns late does so every time, while a busy machine may stretch one
  # silence now and then, so the shorter of the two is held to the bound.
  mapfile -t silences < <(awk -v from="${markAt[a1]}" -v to="${markAt[quit]}" '
    $2 < from || $3 > to { next }
    $1 == "R" { speechEnd = $3 }
    $1 == "L" { if ($2 - clipEnd >= 300 && speechEnd > clipEnd) print $2 - speechEnd; clipEnd = $3 }' "$work/spans.txt")
  Note "silence from the end of speech to the next clip (ms): ${silences[*]:-none}"
  if ((${#silences[@]} != 2)); then
    Fail "expected the clips of two shots, each after speech; found ${#silences[@]}"
  else
    shortest=$(printf '%s\n' "${silences[@]}" | sort -n | head -1)
    ((shortest <= longestSilenceAfterSpeechMs)) ||
      Fail "silences of ${silences[*]} ms between speech and the clip after it (the shorter at most $longestSilenceAfterSpeechMs ms): the voice returned long after its last word was heard; speech-dispatcher's end-of-speech report comes about 340 ms late, so a text is over at an index mark before its closing punctuation"
  fi
fi

if ((failures > 0)); then
  cp "$work/recording.raw" "${TMPDIR:-/tmp}/keelmark-smoke-$voice.raw" 2>/dev/null &&
    echo "the recording is kept in ${TMPDIR:-/tmp}/keelmark-smoke-$voice.raw (s16le mono $audioRate Hz)" >&2
fi
Finish
