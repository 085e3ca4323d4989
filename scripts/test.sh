#!/usr/bin/env bash
# Sets up, builds and runs every test: the in-process tests and the real
# terminal and audio tests, then the in-process tests again under the
# sanitizers, the fuzz targets for a bounded time, the Windows executable
# cross-built and played under Wine, and (as root, or with sudo) the .deb
# built, installed, played and removed. Each step says how long it took.
# Extra arguments go to the first ctest run, e.g. "scripts/test.sh -L quick".
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/step.sh

Step setup scripts/setup.sh
Step build scripts/build.sh
# One more job than cores: the sound tests spend their time waiting for
# sound played in real time.
Step tests ctest --test-dir build --output-on-failure -j"$(($(nproc) + 1))" "$@"
if [ $# -eq 0 ]; then
  # The Windows tests spend most of their time waiting for clips that Wine
  # plays at only a few times their speed, so they run beside the sanitizer
  # build, its tests and the fuzzing, in a process group of their own that
  # goes if this script ends first. Their output comes after.
  windowsLog=$(mktemp)
  setsid -w bash -c 'set -euo pipefail; source scripts/step.sh; Step windows scripts/windows_build.sh --test' >"$windowsLog" 2>&1 &
  windowsJob=$!
  trap 'kill -- -$windowsJob 2>/dev/null || true; rm -f "$windowsLog"' EXIT
  Step "sanitizer build" bash -c 'cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKEELMARK_SANITIZE=ON >/dev/null &&
    cmake --build build-sanitize -j"$(nproc)" --target keelmark_tests'
  Step "sanitizer tests" ctest --test-dir build-sanitize --output-on-failure -j2 -L quick
  Step fuzzing scripts/fuzz.sh
  if [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null; then
    Step package tests/package/installed_game_test.sh build
  else
    echo "Skipping the package test: it installs the .deb, and needs root or sudo."
  fi
  windowsStatus=0
  wait "$windowsJob" || windowsStatus=$?
  cat "$windowsLog"
  exit "$windowsStatus"
fi
