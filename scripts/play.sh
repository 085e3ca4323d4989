#!/usr/bin/env bash
# Sets up, builds and starts a game in this terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh game
scripts/build.sh --target keelmark
exec build/keelmark
