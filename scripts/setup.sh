#!/usr/bin/env bash
# Installs, from Debian's packages, everything the build, the game and the
# tests need ("setup.sh game": the game alone). Quiet and quick when all of
# it is already there.
set -euo pipefail

# What building and playing the game needs.
gamePackages=(
  build-essential cmake pkg-config gzip
  libncurses-dev ncurses-base ncurses-term
  libgtest-dev
  libsdl2-dev libspeechd-dev libespeak-ng-dev espeak-ng-data libpulse-dev
  speech-dispatcher speech-dispatcher-espeak-ng speech-dispatcher-audio-plugins
)
# What the tests add: tmux, a private sound server and sox, clang for the
# fuzzers, mingw-w64 and Wine for the Windows build, NSIS for its installer,
# dpkg-dev and lintian for the package.
testPackages=(
  dpkg-dev lintian file tmux locales
  pulseaudio pulseaudio-utils sox
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 nsis
)

# "setup.sh game" installs only what a player needs.
packages=("${gamePackages[@]}")
[ "${1:-}" = game ] || packages+=("${testPackages[@]}")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${as_root[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The input decoding tests type in a single-byte locale as well.
if [ "${1:-}" != game ] && ! locale -a | grep -qx en_US.iso88591; then
  "${as_root[@]}" localedef -i en_US -f ISO-8859-1 en_US.ISO-8859-1
fi
