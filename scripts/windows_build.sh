#!/usr/bin/env bash
# Cross-builds the Windows executable with mingw-w64 into build-windows/
# (build-windows/keelmark.exe); with --test, also plays it under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
runTests=0
if [[ ${1:-} == --test ]]; then
  runTests=1
  shift
fi
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-windows -j"$(nproc)" "$@"
if ((runTests)); then
  ctest --test-dir build-windows --output-on-failure
fi
