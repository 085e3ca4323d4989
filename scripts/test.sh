#!/usr/bin/env bash
# Sets up, builds and runs every test: the in-process tests and the real
# terminal tests, then the in-process tests again under the sanitizers, the
# fuzz targets for a bounded time, the Windows executable cross-built and
# played under Wine, and (as root, or with sudo) the .deb built, installed,
# played and removed.
# Extra arguments go to the first ctest run, e.g. "scripts/test.sh -L quick".
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
ctest --test-dir build --output-on-failure -j2 "$@"
if [ $# -eq 0 ]; then
  cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKEELMARK_SANITIZE=ON >/dev/null
  cmake --build build-sanitize -j"$(nproc)" --target keelmark_tests
  ctest --test-dir build-sanitize --output-on-failure -j2 -L quick
  scripts/fuzz.sh
  scripts/windows_build.sh --test
  if [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null; then
    tests/package/installed_game_test.sh build
  else
    echo "Skipping the package test: it installs the .deb, and needs root or sudo."
  fi
fi
