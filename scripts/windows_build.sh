#!/usr/bin/env bash
# Cross-builds the Windows executable with mingw-w64 into build-windows/
# (build-windows/keelmark.exe); with --test, also plays it under Wine and
# installs, plays and uninstalls its packages there; with --package, makes
# the installer and the zip (build-windows/keelmark-<version>-win64.exe and
# .zip). Other arguments go to the build.
set -euo pipefail
cd "$(dirname "$0")/.."
runTests=0
makePackages=0
while [[ $# -gt 0 ]]; do
  case $1 in
    --test) runTests=1 ;;
    --package) makePackages=1 ;;
    *) break ;;
  esac
  shift
done
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
prefixMaker=""
if ((runTests)) && command -v wine >/dev/null; then
  # The tests' Wine prefix is made (once) while the compiler runs: wineboot
  # spends most of its time waiting. The tests would make it otherwise.
  bash tests/windows/make_wine_prefix.sh build-windows/wine-prefix >build-windows/wine-prefix.log 2>&1 &
  prefixMaker=$!
fi
cmake --build build-windows -j"$(nproc)" "$@"
if [[ -n $prefixMaker ]]; then
  wait "$prefixMaker" || true
  cat build-windows/wine-prefix.log
fi
if ((runTests)); then
  # The Wine tests spend their time waiting for clips played in real time,
  # each in a prefix of its own: the whole game starts first, the others
  # beside it.
  ctest --test-dir build-windows --output-on-failure -j"$(($(nproc) + 1))"
fi
if ((makePackages)); then
  (cd build-windows && cpack -G "NSIS;ZIP")
fi
