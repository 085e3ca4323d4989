#!/usr/bin/env bash
# Runs the real speech-dispatcher tests of TEST_BINARY against a private
# PulseAudio server, so that no user's speech-dispatcher or sound is reached;
# the servers the tests start are ended with it.
#
#   real_speech_dispatcher_test.sh TEST_BINARY [gtest arguments]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$1
shift
source "$here/../audio/pulse_server.sh"
StartAudioServer
"$binary" --gtest_filter='*RealSpeechDispatcher*' "$@"
exit $?
