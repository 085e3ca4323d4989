# A private PulseAudio server whose only output is a null sink, for tests
# that listen to what the game really plays: sourced, not run.
#
#   source pulse_server.sh
#   StartAudioServer            # exports PULSE_SERVER and a private runtime
#   StartRecording FILE         # raw s16le mono 48 kHz of everything played
#   ... play ...
#   StopRecording
#
# Everything lives in a fresh runtime folder, so that no user's sound server,
# cookie, configuration or speech-dispatcher is reached, and whatever was
# started on its behalf (a speech-dispatcher spawned by the game, its output
# modules) is found again by that folder and ended when the test exits.

audioRate=48000
# Channels of the recording: 1, or 2 to keep the sink's left and right apart.
audioChannels=1
audioSink=keelmark_test
audioDir=""
audioServerPid=""
audioKeeperPid=""
audioRecorderPid=""
# Wall-clock time (seconds since the epoch) of the recording's first sample.
recordingStartedAt=""

# Runs any exit handler set before this file was sourced (the terminal
# harness's) after the sound server is down. Interrupted, the test still
# goes through its exit handlers.
audioPreviousExitTrap=$(trap -p EXIT | sed -e "s/^trap -- '//" -e "s/' EXIT\$//")
trap 'StopAudioServer; eval "$audioPreviousExitTrap"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Ends every process whose environment carries the mark of the server in
# folder $1 with signal $2, other than the caller (and process $3, if
# given). True when there was any.
SweepAudioProcesses() {
  local dir=$1 signal=$2 pid found=0
  for pid in /proc/[0-9]*; do
    pid=${pid#/proc/}
    ((pid == $$ || pid == BASHPID || pid == ${3:-0})) && continue
    grep -qzxF "KEELMARK_AUDIO_TEST=$dir" "/proc/$pid/environ" 2>/dev/null &&
      kill "-$signal" "$pid" 2>/dev/null && found=1
  done
  ((found))
}

AudioNow() { date +%s.%N; }

# Retry TIMES PAUSE COMMAND...: true once the command is, trying at most
# TIMES times with PAUSE seconds between.
Retry() {
  local times=$1 pause=$2
  shift 2
  until "$@"; do
    ((--times > 0)) || return 1
    sleep "$pause"
  done
}

# True once the server answers; a server that has died ends the test.
AudioServerAnswers() {
  pactl info >/dev/null 2>&1 && return 0
  kill -0 "$audioServerPid" 2>/dev/null && return 1
  echo "pulseaudio did not start:" >&2
  sed 's/^/| /' "$audioDir/pulseaudio.log" >&2
  exit 2
}

KeeperIsPlaying() { pactl list short sink-inputs | grep -q .; }

# On a desktop the sound server runs at real-time priority; here it shares
# two cores with whatever else runs, and a server that waits its turn breaks
# every sound up. It and its clients run above ordinary processes where the
# test may raise them.
audioPriority=()
nice -n -11 true 2>/dev/null && audioPriority=(nice -n -11)

StartAudioServer() {
  audioDir=$(mktemp -d "${TMPDIR:-/tmp}/keelmark-audio.XXXXXX")
  mkdir -p "$audioDir/config" "$audioDir/pulse" "$audioDir/state"
  chmod 700 "$audioDir"
  # Every process started from here on carries this mark in its environment;
  # that is how the clean-up recognises them, whoever their parent is now.
  export KEELMARK_AUDIO_TEST="$audioDir"
  # Should the test be killed outright (a timeout), nothing it started may
  # stay behind: a watcher in a session of its own sweeps up after it.
  setsid bash -c "$(declare -f SweepAudioProcesses)
    while kill -0 $$ 2>/dev/null; do sleep 1; done
    SweepAudioProcesses '$audioDir' TERM; sleep 0.5; SweepAudioProcesses '$audioDir' KILL
    rm -rf '$audioDir'" </dev/null >/dev/null 2>&1 &
  export XDG_RUNTIME_DIR="$audioDir" HOME="$audioDir" XDG_CONFIG_HOME="$audioDir/config"
  export PULSE_RUNTIME_PATH="$audioDir/pulse" PULSE_STATE_PATH="$audioDir/state"
  export PULSE_SERVER="unix:$audioDir/native"
  unset PULSE_SINK PULSE_SOURCE PULSE_COOKIE SPEECHD_ADDRESS
  # As root, PulseAudio warns that it is meant for users; -n and -F /dev/null
  # leave out the system's default script, so the null sink is the only
  # device, and the socket takes anyone (the test's own processes).
  "${audioPriority[@]}" pulseaudio -n -F /dev/null --daemonize=no --system=no --exit-idle-time=-1 --disallow-exit \
    --use-pid-file=no --log-target=stderr \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$audioDir/native" \
    --load="module-null-sink sink_name=$audioSink rate=$audioRate channels=2" \
    >"$audioDir/pulseaudio.log" 2>&1 &
  audioServerPid=$!
  Retry 100 0.1 AudioServerAnswers || { echo "pulseaudio does not answer" >&2; exit 2; }
  pactl set-default-sink "$audioSink"
  pactl set-default-source "$audioSink.monitor"
  # An idle null sink renders in blocks of up to two seconds, so a stream
  # opened then waits up to that long for its first sound. A silent stream
  # asking for 20 ms keeps the sink ticking in small blocks all the time.
  "${audioPriority[@]}" pacat --playback --raw --latency-msec=20 --client-name=keelmark-keeper /dev/zero &
  audioKeeperPid=$!
  Retry 50 0.1 KeeperIsPlaying || { echo "the keeper stream did not start" >&2; exit 2; }
  # The sink's clock still runs to the end of the two-second block it began
  # with, which the first recorder would wait out; suspended and resumed, the
  # sink starts afresh at the keeper's pace.
  pactl suspend-sink "$audioSink" 1 && pactl suspend-sink "$audioSink" 0
}

# StartRecording FILE [CHANNELS]: everything the sink plays, from now until
# StopRecording, as raw signed 16-bit samples at $audioRate, mono unless
# CHANNELS is 2.
StartRecording() {
  local file=$1
  audioChannels=${2:-1}
  rm -f "$file"
  "${audioPriority[@]}" parec --device="$audioSink.monitor" --format=s16le --rate="$audioRate" \
    --channels="$audioChannels" --latency-msec=20 \
    --client-name=keelmark-recorder --raw >"$file" &
  audioRecorderPid=$!
  # The recording has begun once samples arrive; that can take most of a
  # second for the first client on a busy machine.
  Retry 250 0.02 test -s "$file" || { echo "the recorder wrote nothing" >&2; exit 2; }
  # Samples reach the file a little after they were played, never before:
  # of several readings of (now - seconds recorded), the earliest is the
  # closest to when the first sample was played.
  local tries
  recordingStartedAt=$(for ((tries = 0; tries < 15; tries++)); do
    awk -v now="$(AudioNow)" -v bytes="$(stat -c %s "$file")" -v rate="$audioRate" \
      -v channels="$audioChannels" 'BEGIN { printf "%.3f\n", now - bytes / 2 / channels / rate }'
    sleep 0.02
  done | LC_ALL=C sort -n | head -n 1)
}

# Where a wall-clock time (from AudioNow) falls in the recording, in whole
# milliseconds.
RecordingTimeOf() {
  awk -v t="$1" -v s="$recordingStartedAt" 'BEGIN { printf "%d", (t - s) * 1000 }'
}

# Seconds of recording so far.
RecordedSeconds() {
  local bytes
  bytes=$(stat -c %s "$1" 2>/dev/null || echo 0)
  awk -v b="$bytes" -v r="$audioRate" -v c="$audioChannels" 'BEGIN { printf "%.3f", b / 2 / c / r }'
}

# RecordingIsQuietFor FILE SECONDS: the last SECONDS of the recording hold no
# sound above -60 dBFS (digital silence from the null sink reads as zero).
RecordingIsQuietFor() {
  local file=$1 seconds=$2 bytes peak
  bytes=$(awk -v s="$seconds" -v r="$audioRate" -v c="$audioChannels" 'BEGIN { printf "%d", s * r * 2 * c }')
  (($(stat -c %s "$file") >= bytes)) || return 1
  # Both channels alike: any sample of either counts.
  peak=$(tail -c "$bytes" "$file" | sox -t raw -r "$audioRate" -e signed -b 16 -c 1 - -n stat 2>&1 |
    awk '/Maximum amplitude/ { max = $3 } /Minimum amplitude/ { min = -$3 } END { print (max > min ? max : min) }')
  awk -v p="$peak" 'BEGIN { exit !(p < 0.001) }'
}

StopRecording() {
  [[ -n $audioRecorderPid ]] || return 0
  kill "$audioRecorderPid" 2>/dev/null
  wait "$audioRecorderPid" 2>/dev/null
  audioRecorderPid=""
}

# Ends every process that carries this server's mark: the recorder, the
# keeper, a speech-dispatcher the game spawned and its modules, the server.
StopAudioServer() {
  [[ -n $audioDir ]] || return 0
  StopRecording
  # The server goes last, so that nothing of the test's complains of it.
  SweepAudioProcesses "$audioDir" TERM "$audioServerPid" && sleep 0.3 &&
    SweepAudioProcesses "$audioDir" KILL "$audioServerPid"
  [[ -n $audioServerPid ]] && kill "$audioServerPid" 2>/dev/null && wait "$audioServerPid" 2>/dev/null
  [[ -n $audioKeeperPid ]] && wait "$audioKeeperPid" 2>/dev/null
  rm -rf "$audioDir"
  audioDir=""
}
