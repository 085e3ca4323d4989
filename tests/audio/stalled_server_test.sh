#!/usr/bin/env bash
# The game against a sound server that stops answering, with its own
# espeak-ng voice so that every sound goes through the game's output:
#  - the sink suspended at a prompt (what pasuspender and audio workstations
#    do): the shot still leads to the next round, and "quit" still ends the
#    game, each within a bound; resumed, the sink plays the game's next
#    sound;
#  - the server stopped (SIGSTOP) before the game starts: the title's prompt
#    still comes, and once the server goes on, the game is heard again.
# Each wait is printed, to be set beside the bound.
#
# Usage: stalled_server_test.sh GAME

here=$(cd "$(dirname "$0")" && pwd)
source "$here/../terminal/harness.sh" "$1"
source "$here/pulse_server.sh"

# A sound the server does not take is given up after its length and a short
# allowance, and every later one is skipped at once while the server is
# still stalled; a first stream gets a start-up allowance besides. These
# bounds leave room for a loaded machine on top of that.
boundSeconds=8
# How soon a sound asked for after the sink is resumed is heard, at most.
soundBackMs=1500

StartAudioServer
silentEnvironment=""
# An address where nothing listens, and no server to start in its place.
gameEnvironment="SPEECHD_ADDRESS=unix_socket:$audioDir/no-speech-dispatcher SPEECHD_CMD=/bin/false"

# Milliseconds since the epoch.
NowMs() { date +%s%3N; }

# TimeUntil SECONDS NAME COMMAND...: waits for the command, prints how long
# it took, and fails when it never came.
TimeUntil() {
  local seconds=$1 name=$2 start
  shift 2
  start=$(NowMs)
  if pollInterval=0.1 WaitUntil "$seconds" "$@"; then
    Note "$name after $(($(NowMs) - start)) ms"
  else
    Fail "$name did not come within $seconds s"
    return 1
  fi
}

# HeardWithin MS SINCE: the recording holds sound within MS milliseconds of
# the wall-clock time SINCE (from AudioNow).
HeardWithin() {
  local from to
  from=$(RecordingTimeOf "$2")
  to=$((from + $1))
  (($(awk -v s="$(RecordedSeconds "$work/recording.raw")" 'BEGIN { printf "%d", s * 1000 }') >= to)) || return 1
  od -An -v -td2 -w96 -j $((from * 96)) -N $(($1 * 96)) "$work/recording.raw" | awk -v from="$from" '
    { for (i = 1; i <= NF; i++) if ($i > 100 || $i < -100) { printf "%d", NR - 1; found = 1; exit } }
    END { exit !found }'
}

# Waits until the recording reaches MS after SINCE, then prints after how
# many milliseconds the first sound came, or fails.
ExpectSoundWithin() {
  local ms=$1 since=$2 what=$3 first
  WaitUntil 10 test "$(RecordingTimeOf "$(AudioNow)")" -gt "$(($(RecordingTimeOf "$since") + ms + 300))"
  if first=$(HeardWithin "$ms" "$since"); then
    Note "$what heard $first ms after it was asked for"
  else
    Fail "$what not heard within $ms ms"
  fi
}

GameHasEnded() { test -e "$work/finished"; }

# The sink suspended at the first prompt.
StartTerminal 80 25
StartGame
AutoAtTitle || { Fail "the title's prompt never showed"; Finish; }
AwaitPrompt 1
pactl suspend-sink "$audioSink" 1
TypeLine a1
TimeUntil "$boundSeconds" "round 2 with the sink suspended" RoundIsShown 2 &&
  TimeUntil "$boundSeconds" "its prompt" TextIsAt 24 1 "coordinates:     "
# Resumed, the sink first plays what it held, then the next sound.
pactl suspend-sink "$audioSink" 0
AwaitPrompt 2
StartRecording "$work/recording.raw"
WaitUntil 10 RecordingIsQuietFor "$work/recording.raw" 0.3
asked=$(AudioNow)
TypeLine a2
ExpectSoundWithin "$soundBackMs" "$asked" "after the sink was resumed, the entry"
AwaitPrompt 3
pactl suspend-sink "$audioSink" 1
StopRecording
TypeLine quit
TimeUntil "$boundSeconds" "the end after \"quit\" with the sink suspended" GameHasEnded
pactl suspend-sink "$audioSink" 0
WaitUntil 20 GameHasEnded || { Fail "the game never ended"; Finish; }
[[ $(cat "$work/status") == 0 ]] || Fail "the game's exit status was $(cat "$work/status")"

# The server stopped before the game starts.
kill -STOP "$audioServerPid"
StartGame
TimeUntil "$boundSeconds" "the title's prompt with the server stopped" TextIsAt 3 1 "Press any key to continue."
kill -CONT "$audioServerPid"
Retry 50 0.1 AudioServerAnswers || Fail "the server did not come back"
StartRecording "$work/recording.raw"
WaitUntil 10 RecordingIsQuietFor "$work/recording.raw" 0.3
asked=$(AudioNow)
TypeLine auto
ExpectSoundWithin "$soundBackMs" "$asked" "after the server went on, \"auto\""
AwaitPrompt 1
kill -STOP "$audioServerPid"
TypeLine quit
TimeUntil "$boundSeconds" "the end after \"quit\" with the server stopped" GameHasEnded
kill -CONT "$audioServerPid"
WaitUntil 20 GameHasEnded || Fail "the game never ended"
Finish
