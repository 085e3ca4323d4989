#!/usr/bin/env bash
# The listening side of the audio tests, tried on sounds whose order and
# lengths are known: the clips played with paplay and words spoken with
# spd-say through the private server. A well-played sequence must pass every
# check, and so must clips that broke up the way a server breaks them up
# when a stream runs dry; one with a clip cut short, speech over a clip and
# a long silence must fail exactly those checks.
# Usage: analysis_self_test.sh FIND_CLIPS

here=$(cd "$(dirname "$0")" && pwd)
source "$here/analysis_test_setup.sh" "${1:-}" self

source "$here/pulse_server.sh"
source "$here/timeline.sh"

Say() { timeout 20 spd-say -w "$1" || Fail "spd-say could not say '$1'"; }
Play() { paplay "$1" || Fail "paplay could not play $1"; }

# Runs a check in a subshell and tells whether it failed, without counting
# its failure against this test.
CheckFails() {
  local output
  output=$( ( failures=0; "$@"; exit $((failures > 0)) ) 2>&1 ) && return 1
  Note "as it should: ${output//$'\n'/ / }"
  return 0
}

StartAudioServer

# --- Sounds as the game strings them together -----------------------------
StartRecording "$work/good.raw"
Say "round 1"
Say "Coordinates?"
sleep 1
Mark "a1"
Say "a1"
Play "$clipFolder/DROP.wav"
Play "$clipFolder/MISS.wav"
Say "Computer chooses: B 7"
Play "$clipFolder/DROP.wav"
Play "$clipFolder/HIT.wav"
Play "$clipFolder/SINK.wav"
Say "round 2"
sleep 0.5
StopRecording
AnalyseRecording "$work/good.raw" "$work/good.txt"
LoadTimeline "$work/good.txt"
PrintTimeline
ExpectSequence "speech \[a1\] speech DROP MISS speech DROP HIT SINK speech"
ExpectClipsWhole
ExpectNoOverlap
ExpectGapsShort 1500
ExpectSpeechRunsAtLeast 150

# --- Clips that broke up as a server breaks them up -----------------------
# A stream that runs dry is played as exact silence, and what then comes too
# late is thrown away: the clip goes on a little further on than it stopped.
# A whistle or a buzz matches itself a period off, so a clip that went on
# from elsewhere must still be found whole, where it was heard, with that
# one short dropout and nothing else sounding over it.
# Underrun NAME AT GAP_MS LOST_MS OUT
Underrun() {
  local name=$1 at=$2 gap=$3 lost=$4 out=$5
  sox -V1 -D "$clipFolder/$name.wav" -r "$audioRate" -b 16 -e signed-integer "$work/$name-rate.wav"
  sox -V1 "$work/$name-rate.wav" "$work/$name-first.wav" trim 0 "$at"
  sox -V1 "$work/$name-rate.wav" "$work/$name-rest.wav" trim "$(awk -v a="$at" -v l="$lost" 'BEGIN { print a + l / 1000 }')"
  sox -V1 -D -n -r "$audioRate" -c 1 -b 16 -e signed-integer "$work/$name-gap.wav" trim 0 "$(awk -v g="$gap" 'BEGIN { print g / 1000 }')"
  sox -V1 "$work/$name-first.wav" "$work/$name-gap.wav" "$work/$name-rest.wav" "$out"
}
Underrun DROP 0.3 14 1 "$work/drop-underrun.wav"
Underrun BUZZER 1.44 4 3.7 "$work/buzzer-underrun.wav"
markLabel=() markTime=()
StartRecording "$work/underruns.raw"
Say "a1"
Play "$work/drop-underrun.wav"
Play "$clipFolder/MISS.wav"
Say "a1"
Play "$work/buzzer-underrun.wav"
Say "round 2"
sleep 0.5
StopRecording
AnalyseRecording "$work/underruns.raw" "$work/underruns.txt"
LoadTimeline "$work/underruns.txt"
PrintTimeline
ExpectSequence "speech DROP MISS speech BUZZER speech"
ExpectClipsWhole
ExpectNoOverlap
for i in "${!evKind[@]}"; do
  [[ ${evKind[i]} == clip && ${evName[i]} != MISS ]] || continue
  case ${evName[i]} in
    DROP) low=12 high=16 ;;
    BUZZER) low=2 high=6 ;;
  esac
  ((evDropouts[i] == 1 && evLongestDropout[i] >= low && evLongestDropout[i] <= high)) ||
    Fail "${evName[i]} was found with ${evDropouts[i]} dropout(s), up to ${evLongestDropout[i]} ms, not one of ${low}-${high} ms"
done

# --- Faults the checks are there to catch ---------------------------------
# BUZZER cut after one second, speech starting half a second into HIT, a
# DROP that stops for 40 ms halfway and goes on (as when the sound output
# falls behind), and two and a half seconds of silence between DROP and
# MISS.
sox -V1 "$clipFolder/BUZZER.wav" "$work/short-buzzer.wav" trim 0 1.0
# The DROP is made at the server's own rate, so that the gap reaches the
# recording as a server plays a stream that ran dry: exact silence, with
# the clip going on unchanged after it (-D: no dither).
sox -V1 -D "$clipFolder/DROP.wav" -r "$audioRate" -b 16 -e signed-integer "$work/drop-server-rate.wav"
sox -V1 "$work/drop-server-rate.wav" "$work/drop-first.wav" trim 0 1.2
sox -V1 "$work/drop-server-rate.wav" "$work/drop-rest.wav" trim 1.2
sox -V1 -D -n -r "$audioRate" -c 1 -b 16 -e signed-integer "$work/drop-gap.wav" trim 0 0.04
sox -V1 "$work/drop-first.wav" "$work/drop-gap.wav" "$work/drop-rest.wav" "$work/broken-drop.wav"
markLabel=() markTime=()
StartRecording "$work/faults.raw"
Play "$work/short-buzzer.wav"
Say "round 2"
paplay "$clipFolder/HIT.wav" &
hitPlayer=$!
sleep 0.5
Say "Computer chooses: B 7"
wait "$hitPlayer"
Play "$work/broken-drop.wav"
sleep 0.5
Play "$clipFolder/DROP.wav"
sleep 2.5
Play "$clipFolder/MISS.wav"
sleep 0.5
StopRecording
AnalyseRecording "$work/faults.raw" "$work/faults.txt"
LoadTimeline "$work/faults.txt"
PrintTimeline
CheckFails ExpectClipsWhole || Fail "a BUZZER cut short and a HIT spoken over passed as whole"
CheckFails ExpectNoOverlap || Fail "speech over HIT passed as not overlapping"
CheckFails ExpectGapsShort 1500 || Fail "2.5 s of silence between DROP and MISS passed"
# The order is still told right through all of that, and a clip fewer than
# was heard does not pass for it.
ExpectSequence "BUZZER speech HIT speech DROP DROP MISS"
CheckFails ExpectSequence "BUZZER speech HIT speech DROP MISS" ||
  Fail "BUZZER, speech, HIT, speech, DROP, DROP, MISS passed for one DROP"
# Each fault on its own, so that one check cannot hide behind another.
buzzerShort=0 hitShort=0 dropBroken=0 dropWhole=0
for i in "${!evKind[@]}"; do
  [[ ${evKind[i]} == clip ]] || continue
  heard=${evHeard[i]}
  case ${evName[i]} in
    BUZZER) ((heard >= 900 && heard <= 1100)) && buzzerShort=1 ;;
    HIT) ((heard < 2100)) && hitShort=1 ;;
    DROP)
      if ((evDropouts[i] == 1 && evLongestDropout[i] >= 35 && evLongestDropout[i] <= 45 && heard >= 2300)); then
        dropBroken=1
      elif ((evDropouts[i] == 0 && heard >= 2300)); then
        dropWhole=1
      fi
      ;;
  esac
done
((buzzerShort)) || Fail "the cut BUZZER was not found as 1.0 s of BUZZER"
((hitShort)) || Fail "HIT with speech over it was not found cut short"
((dropBroken)) || Fail "the DROP with a 40 ms gap was not found whole with one dropout of about 40 ms"
((dropWhole)) || Fail "the whole DROP after the broken one was not found whole"

StopAudioServer
if ((failures > 0)); then
  for recording in good underruns faults; do
    cp "$work/$recording.raw" "${TMPDIR:-/tmp}/keelmark-audio-self-$recording.raw" 2>/dev/null &&
      echo "the recording is kept in ${TMPDIR:-/tmp}/keelmark-audio-self-$recording.raw (s16le mono $audioRate Hz)" >&2
  done
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
