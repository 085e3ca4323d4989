#!/usr/bin/env bash
# Installs, from Debian's packages, everything the build, the game and the
# tests need. Quiet and quick when all of it is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config dpkg-dev file gzip
  libncurses-dev ncurses-base ncurses-term
  libgtest-dev
  tmux
  libsdl2-dev libspeechd-dev libespeak-ng-dev espeak-ng-data
  speech-dispatcher speech-dispatcher-espeak-ng speech-dispatcher-audio-plugins
  pulseaudio pulseaudio-utils libpulse-dev sox
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
