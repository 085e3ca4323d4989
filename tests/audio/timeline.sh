# Turning a recording into a timeline of what was heard, and the checks the
# audio tests make on it: sourced, not run, after pulse_server.sh.
#
#   findClips=PATH/TO/find_clips; clipFolder=resources/sounds
#   Mark "a1"                       # when the test types, for the timeline
#   AnalyseRecording RAW TIMELINE   # then LoadTimeline TIMELINE
#   PrintTimeline; ExpectSequence PATTERN; ExpectClipsWhole; ...
#
# Times are kept in whole milliseconds from the recording's first sample, so
# that the shell can compare them. Checks report through Fail, which the
# sourcing test defines.

# Clips are matched at this rate: enough for every clip's character, small
# enough to search a minute and a half of recording in a second or two.
analysisRate=16000
clipNames=(DROP HIT MISS SINK BUZZER)

# Typed entries, as they fall in the recording.
markLabel=()
markTime=()

Mark() {
  markLabel+=("$1")
  markTime+=("$(awk -v t="$(AudioNow)" -v s="$recordingStartedAt" 'BEGIN { printf "%d", (t - s) * 1000 }')")
}

Milliseconds() { awk -v s="$1" 'BEGIN { printf "%d", s * 1000 + (s < 0 ? -0.5 : 0.5) }'; }

Seconds() { awk -v m="$1" 'BEGIN { printf "%.3f", m / 1000 }'; }

# AnalyseRecording RAW TIMELINE: RAW is what StartRecording wrote.
AnalyseRecording() {
  local raw=$1 timeline=$2 folder name
  folder=$(dirname "$timeline")
  local -a clipArguments=()
  for name in "${clipNames[@]}"; do
    # sox averages a stereo clip's channels, as the recorder's mono does.
    sox -V1 "$clipFolder/$name.wav" -t raw -e signed -b 16 -c 1 -r "$analysisRate" "$folder/$name.raw" ||
      { Fail "sox could not convert $name.wav"; return 1; }
    clipArguments+=("$name=$folder/$name.raw")
  done
  # Dropouts are taken out at the recording's own rate, where the exact
  # silence a stream that ran dry leaves is not yet blurred by resampling;
  # the map of them puts the times found back on the recording's clock.
  "$findClips" --splice "$audioRate" "$raw" "$folder/spliced.raw" "$folder/splices.txt" ||
    { Fail "find_clips could not splice the recording"; return 1; }
  sox -V1 -t raw -r "$audioRate" -e signed -b 16 -c 1 "$folder/spliced.raw" -t raw -r "$analysisRate" "$folder/analysed.raw" ||
    { Fail "sox could not convert the recording"; return 1; }
  "$findClips" --map "$audioRate" "$folder/splices.txt" "$analysisRate" "$folder/analysed.raw" "${clipArguments[@]}" >"$timeline" ||
    { Fail "find_clips failed"; return 1; }
}

# Events in time order: evKind (clip or sound), evName, evStart and evEnd in
# ms; for a clip, evHeard (how much of it was heard, ms), evNominal (its
# full length, ms), evCorrelation (per mille), evDropouts (how often it fell
# silent and went on) and evLongestDropout (ms).
evKind=()
evName=()
evStart=()
evEnd=()
evHeard=()
evNominal=()
evCorrelation=()
evDropouts=()
evLongestDropout=()

LoadTimeline() {
  evKind=() evName=() evStart=() evEnd=() evHeard=() evNominal=() evCorrelation=() evDropouts=() evLongestDropout=()
  local kind name start end heard nominal correlation residual dropouts longest
  while read -r kind name start end heard nominal correlation residual dropouts longest; do
    evKind+=("$kind")
    evName+=("$name")
    evStart+=("$(Milliseconds "$start")")
    evEnd+=("$(Milliseconds "$end")")
    evHeard+=("$(Milliseconds "$heard")")
    if [[ $kind == clip ]]; then
      evNominal+=("$(Milliseconds "$nominal")")
      evCorrelation+=("$(Milliseconds "$correlation")")
      evDropouts+=("$dropouts")
      evLongestDropout+=("$(Milliseconds "$longest")")
    else
      evNominal+=(0)
      evCorrelation+=(0)
      evDropouts+=(0)
      evLongestDropout+=(0)
    fi
  done <"$1"
}

# The marks that fall before event i and after event i-1: a mark counts as
# before the first sound that starts no earlier than a quarter second before
# it (the test types only into a quiet game, so there is room either way).
MarksBefore() {
  local i=$1 k
  for k in "${!markTime[@]}"; do
    if ((evStart[i] >= markTime[k] - 250)) && { ((i == 0)) || ((evStart[i - 1] < markTime[k] - 250)); }; then
      printf '%s\n' "$k"
    fi
  done
}

MarksAfterAll() {
  local last=$((${#evStart[@]} - 1)) k
  for k in "${!markTime[@]}"; do
    if ((last < 0)) || ((evStart[last] < markTime[k] - 250)); then
      printf '%s\n' "$k"
    fi
  done
}

# The timeline in words, with the quiet between consecutive sounds.
PrintTimeline() {
  local i k previousEnd=""
  echo "timeline (seconds from the start of the recording):"
  for i in "${!evKind[@]}"; do
    for k in $(MarksBefore "$i"); do
      printf '  %8s  typed "%s"\n' "$(Seconds "${markTime[k]}")" "${markLabel[k]}"
    done
    if [[ -n $previousEnd ]]; then
      printf '  %8s  gap %s s\n' "" "$(Seconds $((evStart[i] - previousEnd)))"
    fi
    if [[ ${evKind[i]} == clip ]]; then
      local breaks=""
      ((evDropouts[i] > 0)) && breaks="  DROPOUTS ${evDropouts[i]} (longest $(Seconds "${evLongestDropout[i]}") s)"
      printf '  %8s  clip %-6s to %8s  heard %s s of %s s  correlation %s%s\n' \
        "$(Seconds "${evStart[i]}")" "${evName[i]}" "$(Seconds "${evEnd[i]}")" \
        "$(Seconds "${evHeard[i]}")" "$(Seconds "${evNominal[i]}")" "$(Seconds "${evCorrelation[i]}")" "$breaks"
    else
      printf '  %8s  sound       to %8s  length %s s (not a clip)\n' \
        "$(Seconds "${evStart[i]}")" "$(Seconds "${evEnd[i]}")" "$(Seconds $((evEnd[i] - evStart[i])))"
    fi
    previousEnd=${evEnd[i]}
  done
  for k in $(MarksAfterAll); do
    printf '  %8s  typed "%s"\n' "$(Seconds "${markTime[k]}")" "${markLabel[k]}"
  done
}

# The timeline as words: a clip's name, "speech" for any run of other sound,
# "[entry]" where the test typed. For example:
#   speech [a1] speech DROP MISS speech DROP HIT speech
TimelineWords() {
  local i k words="" last=""
  for i in "${!evKind[@]}"; do
    for k in $(MarksBefore "$i"); do
      words+=" [${markLabel[k]}]"
      last=mark
    done
    if [[ ${evKind[i]} == clip ]]; then
      words+=" ${evName[i]}"
      last=clip
    elif [[ $last != speech ]]; then
      words+=" speech"
      last=speech
    fi
  done
  for k in $(MarksAfterAll); do words+=" [${markLabel[k]}]"; done
  printf '%s' "${words# }"
}

# ExpectSequence REGEX: the words of the whole timeline match REGEX.
ExpectSequence() {
  local words
  words=$(TimelineWords)
  [[ $words =~ ^$1$ ]] && return 0
  Fail "what was heard does not follow the game:
    heard:    $words
    expected: $1"
}

# A clip may fall silent for a moment when the sound output falls behind:
# on a shared machine a stray millisecond or two happens to sound servers
# that keep short buffers, and is heard as a click. A clip that breaks up
# more often than this, or for as long as this, was not heard whole.
maximumDropouts=3
longestAllowedDropout=30

# Every clip heard from its start to its end (within 5 %) without breaking
# up, and matching the file closely: a clip cut short, with gaps in it,
# stretched or played at the wrong speed fails here.
ExpectClipsWhole() {
  local i heard tolerance
  for i in "${!evKind[@]}"; do
    [[ ${evKind[i]} == clip ]] || continue
    if ((evDropouts[i] > maximumDropouts || evLongestDropout[i] >= longestAllowedDropout)); then
      Fail "${evName[i]} at $(Seconds "${evStart[i]}") s broke up: it fell silent ${evDropouts[i]} time(s), for up to $(Seconds "${evLongestDropout[i]}") s"
    fi
    heard=${evHeard[i]}
    tolerance=$((evNominal[i] / 20))
    if ((heard < evNominal[i] - tolerance)); then
      Fail "${evName[i]} at $(Seconds "${evStart[i]}") s was heard for $(Seconds "$heard") s of its $(Seconds "${evNominal[i]}") s"
    fi
    # Dropouts make a clip take longer than its file; so would a clip
    # played slow.
    if ((evEnd[i] - evStart[i] > evNominal[i] + tolerance)); then
      Fail "${evName[i]} at $(Seconds "${evStart[i]}") s took $(Seconds $((evEnd[i] - evStart[i]))) s to play its $(Seconds "${evNominal[i]}") s"
    fi
    if ((evCorrelation[i] < ${minimumCorrelation:-900})); then
      Fail "${evName[i]} at $(Seconds "${evStart[i]}") s matches its file only to $(Seconds "${evCorrelation[i]}")"
    fi
  done
}

# How often the clips fell silent for a moment: a figure of how well the
# sound kept up, printed whether or not it fails a clip.
ReportDropouts() {
  local i clips=0 broken=0 total=0 longest=0
  for i in "${!evKind[@]}"; do
    [[ ${evKind[i]} == clip ]] || continue
    clips=$((clips + 1))
    ((evDropouts[i] > 0)) && broken=$((broken + 1))
    total=$((total + evDropouts[i]))
    ((evLongestDropout[i] > longest)) && longest=${evLongestDropout[i]}
  done
  Note "dropouts: $total in $broken of $clips clips, longest $longest ms"
}

# No sound starts before the one before it has ended; a few milliseconds of
# the resamplers' smear and of the 5 ms frames are allowed.
ExpectNoOverlap() {
  local i latestEnd=-1 latest=-1
  for i in "${!evKind[@]}"; do
    if ((latest >= 0 && evStart[i] < latestEnd - 15)); then
      Fail "$(EventName "$i") at $(Seconds "${evStart[i]}") s starts while $(EventName "$latest") is still sounding (until $(Seconds "$latestEnd") s)"
    fi
    if ((evEnd[i] > latestEnd)); then
      latestEnd=${evEnd[i]}
      latest=$i
    fi
  done
}

EventName() {
  if [[ ${evKind[$1]} == clip ]]; then printf '%s' "${evName[$1]}"; else printf 'sound'; fi
}

# The quiet between sounds that follow each other without the player (no
# entry typed in between): printed as a figure of how tightly the game
# strings its sounds together, and failed only when absurd.
ExpectGapsShort() {
  local limit=${1:-1500} i gaps=() count=0 total=0 longest=0
  for ((i = 1; i < ${#evKind[@]}; i++)); do
    [[ -z $(MarksBefore "$i") ]] || continue
    local gap=$((evStart[i] - evEnd[i - 1]))
    # Quiet inside speech (between words) is not a gap between sounds.
    [[ ${evKind[i]} == sound && ${evKind[i - 1]} == sound ]] && continue
    gaps+=("$gap")
    count=$((count + 1))
    total=$((total + gap))
    ((gap > longest)) && longest=$gap
    if ((gap > limit)); then
      Fail "$(Seconds "$gap") s of quiet between $(EventName $((i - 1))) and $(EventName "$i") at $(Seconds "${evStart[i]}") s"
    fi
  done
  if ((count > 0)); then
    local sorted
    sorted=$(printf '%s\n' "${gaps[@]}" | sort -n | tr '\n' ' ')
    Note "gaps next to clips (ms): $sorted(mean $((total / count)), longest $longest)"
  fi
}

# Total length of the other sound between two events (exclusive), in ms.
SoundBetween() {
  local from=$1 to=$2 i total=0
  for ((i = from + 1; i < to; i++)); do
    [[ ${evKind[i]} == sound ]] && total=$((total + evEnd[i] - evStart[i]))
  done
  printf '%d' "$total"
}

# Every run of speech between clips and entries lasts at least MS ms: a word
# is not shorter than that, so a shorter run is a voice cut off or missing.
ExpectSpeechRunsAtLeast() {
  local minimum=$1 i runStart=-1 runTotal=0
  for ((i = 0; i <= ${#evKind[@]}; i++)); do
    local breaks=0
    if ((i == ${#evKind[@]})) || [[ ${evKind[i]} == clip || -n $(MarksBefore "$i") ]]; then breaks=1; fi
    if ((breaks)) && ((runStart >= 0)); then
      ((runTotal >= minimum)) ||
        Fail "only $(Seconds "$runTotal") s of speech from $(Seconds "${evStart[runStart]}") s"
      runStart=-1
      runTotal=0
    fi
    ((i == ${#evKind[@]})) && break
    if [[ ${evKind[i]} == sound ]]; then
      ((runStart < 0)) && runStart=$i
      runTotal=$((runTotal + evEnd[i] - evStart[i]))
    fi
  done
}
