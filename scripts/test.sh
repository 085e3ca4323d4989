#!/usr/bin/env bash
# Sets up, builds and runs every test: the in-process tests and the real
# terminal and audio tests, then the in-process tests again under the
# sanitizers, the fuzz targets for a bounded time, the Windows executable
# cross-built and played under Wine, and (as root, or with sudo) the .deb
# built, installed, played and removed. Each step says how long it took.
# Extra arguments go to the first ctest run alone, e.g. "scripts/test.sh -L quick".
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/step.sh

Step setup scripts/setup.sh
if [ $# -gt 0 ]; then
  Step build scripts/build.sh
  # One more job than cores: the sound tests spend their time waiting for
  # sound played in real time.
  Step tests ctest --test-dir build --output-on-failure -j"$(($(nproc) + 1))" "$@"
  exit 0
fi

# The tests spend most of their time waiting: the sound tests for sound
# played in real time, the Windows tests for clips that Wine plays at only a
# few times their speed. So the other builds and the Windows tests run beside
# the build and the tests, each in a process group of its own that goes if
# this script ends first, and at a lower priority, so that the build and the
# timed tests keep their processor. Their output comes when they are waited
# for.
besideLogs=$(mktemp -d)
declare -A besideJobs
trap 'for job in "${besideJobs[@]}"; do kill -- -"$job" 2>/dev/null || true; done; rm -rf "$besideLogs"' EXIT
# Beside NAME NICENESS COMMAND...: runs the command as step NAME in the
# background, at that niceness. A session of its own is a scheduling group
# of its own where the kernel groups by session, and there a process's
# niceness only weighs against its own group's: so the group's is set too.
Beside() {
  local name=$1 niceness=$2
  shift 2
  setsid -w bash -c 'echo "$1" >/proc/self/autogroup 2>/dev/null; shift; source scripts/step.sh; Step "$@"' \
    _ "$niceness" "$name" nice -n "$niceness" "$@" >"$besideLogs/$name" 2>&1 &
  besideJobs[$name]=$!
}
# AwaitBeside NAME: waits for that step and shows its output; its failure
# ends the run.
AwaitBeside() {
  local status=0
  wait "${besideJobs[$1]}" || status=$?
  unset "besideJobs[$1]"
  cat "$besideLogs/$1"
  return "$status"
}

Beside windows 5 scripts/windows_build.sh --test
Beside "sanitizer and fuzz builds" 10 bash -c '
  cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKEELMARK_SANITIZE=ON >/dev/null &&
  cmake --build build-sanitize -j"$(nproc)" --target keelmark_tests && scripts/fuzz.sh --build-only'
Step build scripts/build.sh
Step tests ctest --test-dir build --output-on-failure -j"$(($(nproc) + 1))"
AwaitBeside "sanitizer and fuzz builds"
Step "sanitizer tests" ctest --test-dir build-sanitize --output-on-failure -j"$(nproc)" -L quick
Step fuzzing scripts/fuzz.sh
if [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null; then
  Step package tests/package/installed_game_test.sh build
else
  echo "Skipping the package test: it installs the .deb, and needs root or sudo."
fi
AwaitBeside windows
