#!/usr/bin/env bash
# Prints how each sound lines up with its call, against a private PulseAudio
# server with a null sink (the same one the real-audio tests use), while a
# silent low-latency stream keeps that sink ticking the way a sound card does.
#
#   bench/run_audio_latency.sh [build folder]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
bench=$build/bench/keelmark_audio_bench
[[ -x $bench ]] || {
  echo "build the target keelmark_audio_bench first (configured with -DKEELMARK_BENCH=ON)" >&2
  exit 2
}

source "$here/../tests/audio/pulse_server.sh"
# The clean-up runs under this script's errexit: a sweep that finds nothing,
# or the status of the server it has just ended, would stop it before the
# server and its folder are gone.
trap 'set +e; StopAudioServer' EXIT
StartAudioServer
game=$build/keelmark
[[ -x $game ]] || game=""
"$bench" "$audioSink.monitor" ${game:+"$game"}
