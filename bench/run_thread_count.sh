#!/usr/bin/env bash
# Counts every thread the game starts in placement, a number of rounds and
# "quit" with each voice (speech-dispatcher, a server of its own started by
# the game; espeak-ng; no audio device at all), against a private PulseAudio
# server with a null sink, as bench/run_bench.sh does. GAME may be another
# build's binary, to set one beside another.
#
#   bench/run_thread_count.sh [build folder [GAME [ROUNDS]]]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
game=$(readlink -f "${2:-$build/keelmark}")
rounds=${3:-10}
gameBench=$build/bench/keelmark_game_bench
shim=$(readlink -f "$build/bench/libkeelmark_thread_count.so")
[[ -x $gameBench && -f $shim ]] || {
  echo "build the targets keelmark_game_bench and keelmark_thread_count first (-DKEELMARK_BENCH=ON)" >&2
  exit 2
}

source "$here/../tests/audio/pulse_server.sh"
trap 'set +e; StopAudioServer' EXIT
StartAudioServer

# No speech-dispatcher answers, and none is started in its place.
noDispatcher=(SPEECHD_ADDRESS="unix_socket:$audioDir/no-speech-dispatcher" SPEECHD_CMD=/bin/false)
"$gameBench" threads "$game" speech-dispatcher "$shim" "$rounds"
env "${noDispatcher[@]}" "$gameBench" threads "$game" espeak-ng "$shim" "$rounds"
env "${noDispatcher[@]}" SDL_AUDIODRIVER=none "$gameBench" threads "$game" "no audio device" "$shim" "$rounds"
