#!/usr/bin/env bash
# Sets up, builds and runs every test. Extra arguments go to ctest, e.g.
# "scripts/test.sh -L quick" for the in-process tests alone.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
ctest --test-dir build --output-on-failure -j2 "$@"
