#!/usr/bin/env bash
# Builds the benchmarks and prints every figure beside its target, as a
# table for the README: in-process figures first, then the real game with
# each voice against a private PulseAudio server with a null sink (the one
# the real-audio tests use), with a silent low-latency stream keeping that
# sink ticking the way a sound card does.
#
#   bench/run_bench.sh [build folder]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
cmake -S "$here/.." -B "$build" -DKEELMARK_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target keelmark keelmark_game_bench keelmark_audio_bench \
  keelmark_thread_count >/dev/null
game=$(readlink -f "$build/keelmark")
gameBench=$build/bench/keelmark_game_bench
audioBench=$build/bench/keelmark_audio_bench

source "$here/../tests/audio/pulse_server.sh"
# A failing look-up inside the clean-up must not end it before the server
# and its folder are gone.
trap 'set +e; StopAudioServer' EXIT
StartAudioServer

figures=$(mktemp)
trap 'set +e; StopAudioServer; rm -f "$figures"' EXIT
Run() { "$@" | tee -a "$figures"; }

# No speech-dispatcher answers, and none is started in its place.
noDispatcher=(SPEECHD_ADDRESS="unix_socket:$audioDir/no-speech-dispatcher" SPEECHD_CMD=/bin/false)

Run "$gameBench" core
# speech-dispatcher first, so that its first run has to start the server.
Run "$gameBench" outside "$game" speech-dispatcher "$audioServerPid"
Run env "${noDispatcher[@]}" SDL_AUDIODRIVER=none "$gameBench" outside "$game" silent "$audioServerPid"
Run env "${noDispatcher[@]}" "$gameBench" outside "$game" espeak-ng "$audioServerPid"
Run "$audioBench" "$audioSink.monitor" "$game"
# Every thread the game starts in a session of a few rounds, with each voice.
Run bash "$here/run_thread_count.sh" "$build" "$game" 6

echo
echo "Measured $(date -u +%Y-%m-%d) on $(uname -sr), $(nproc) cores of" \
  "$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1), load average" \
  "$(cut -d' ' -f1-3 /proc/loadavg) at the end."
echo
echo "| figure | measured | target |"
echo "|---|---|---|"
awk -F'\t' '$1 == "figure" { printf "| %s | %s | %s |\n", $2, $3, $4 }' "$figures"
