#!/usr/bin/env bash
# The listening side of the audio tests, on recordings made up here without a
# sound server: every clip once, in a shuffled order, with quiet and now and
# then a burst of noise (standing for speech) between them, and each clip
# broken up the way a server breaks up a stream that ran dry: a few
# milliseconds of exact silence, after which the clip goes on up to as far
# ahead as the silence was long. Clips that repeat themselves (a buzz, a
# whistle) match themselves a period off, and a short one broken twice
# matches weakly as a whole; however it broke, each must still be found
# whole, where it was, in order, with each break counted as one dropout, and
# nothing else sounding over it. The trials are drawn from a fixed seed, so a
# failure comes back on every run.
# Usage: underrun_analysis_test.sh FIND_CLIPS [TRIALS] [SEED]

here=$(cd "$(dirname "$0")" && pwd)
source "$here/analysis_test_setup.sh" "${1:-}" underruns
trials=${2:-8}
RANDOM=${3:-20261207}

# The rate the recorder records at, as in the tests with a server.
audioRate=48000
source "$here/timeline.sh"

for name in "${clipNames[@]}"; do
  sox -V1 -D "$clipFolder/$name.wav" -t raw -r "$audioRate" -c 1 -b 16 -e signed-integer "$work/$name.full" ||
    { echo "sox could not convert $name.wav" >&2; exit 2; }
done
Frames() { echo $(($(stat -c %s "$1") / 2)); }
# Silence FRAMES: exact zeros, as the server plays them.
Silence() { head -c $(($1 * 2)) /dev/zero; }
# Part FILE FROM COUNT: COUNT frames of a raw file from frame FROM.
Part() { tail -c +$(($2 * 2 + 1)) "$1" | head -c $(($3 * 2)); }
# Draw LOW HIGH: sets `drawn`. (Not in a subshell: one draws afresh, not
# from the seed.)
Draw() { drawn=$(($1 + RANDOM % ($2 - $1 + 1))); }
ms=$((audioRate / 1000))
sox -V1 -R -n -t raw -r "$audioRate" -c 1 -b 16 -e signed-integer "$work/noise.raw" synth 0.4 pinknoise vol 0.1

failedTrials=0
for ((trial = 1; trial <= trials; trial++)); do
  failuresBefore=$failures
  order=("${clipNames[@]}")
  for ((i = ${#order[@]} - 1; i > 0; i--)); do
    j=$((RANDOM % (i + 1)))
    swap=${order[i]} order[i]=${order[j]} order[j]=$swap
  done
  expected="" breaks=() described=""
  {
    Silence $((500 * ms))
    for name in "${order[@]}"; do
      clip="$work/$name.full"
      length=$(Frames "$clip")
      # Up to two breaks, at least 20 ms into the clip and 100 ms before its
      # end, each 3 to 20 ms of silence losing up to as much of the clip.
      count=$((RANDOM % 3))
      cuts=()
      for ((c = 0; c < count; c++)); do
        Draw $((20 * ms)) $((length - 100 * ms))
        cuts+=("$drawn")
      done
      mapfile -t cuts < <(printf '%s\n' "${cuts[@]}" | sed '/^$/d' | sort -n)
      at=0 made=0 note=""
      for cut in "${cuts[@]}"; do
        ((cut > at)) || continue
        Draw $((3 * ms)) $((20 * ms))
        gap=$drawn
        Draw 0 "$gap"
        lost=$drawn
        Part "$clip" "$at" $((cut - at))
        Silence "$gap"
        at=$((cut + lost))
        made=$((made + 1))
        note+="; at $((cut / ms)) ms $((gap / ms)) ms silent, $((lost / ms)) ms lost"
      done
      Part "$clip" "$at" $((length - at))
      breaks+=("$made")
      described+=" $name${note:+ (${note#; })}"
      expected+=" $name"
      Draw $((150 * ms)) $((300 * ms))
      Silence "$drawn"
      if ((RANDOM % 2)); then
        cat "$work/noise.raw"
        Silence $((200 * ms))
        expected+=" speech"
      fi
    done
  } >"$work/trial.raw"

  AnalyseRecording "$work/trial.raw" "$work/timeline.txt" || continue
  LoadTimeline "$work/timeline.txt"
  ExpectSequence "${expected# }"
  ExpectClipsWhole
  ExpectNoOverlap
  k=0
  for i in "${!evKind[@]}"; do
    [[ ${evKind[i]} == clip ]] || continue
    if ((k < ${#breaks[@]} && evDropouts[i] != breaks[k])); then
      Fail "${evName[i]} was found with ${evDropouts[i]} dropout(s), not ${breaks[k]}"
    fi
    k=$((k + 1))
  done
  if ((failures > failuresBefore)); then
    failedTrials=$((failedTrials + 1))
    Note "trial $trial:$described"
    PrintTimeline
    cp "$work/trial.raw" "${TMPDIR:-/tmp}/keelmark-audio-underruns-$trial.raw" 2>/dev/null &&
      echo "the recording is kept in ${TMPDIR:-/tmp}/keelmark-audio-underruns-$trial.raw (s16le mono $audioRate Hz)" >&2
  fi
done

if ((failures > 0)); then
  echo "$failures check(s) failed in $failedTrials of $trials trials" >&2
  exit 1
fi
echo "all checks passed in $trials trials"
