#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each for a
# bounded time from the committed seeds. Any finding fails the run; its
# input is left in build-fuzz/findings/.
# Usage: scripts/fuzz.sh [SECONDS-PER-TARGET]   (15 unless told)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEELMARK_FUZZ=ON -DBUILD_TESTING=OFF \
  -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target keelmark_fuzz_input keelmark_fuzz_entry

mkdir -p build-fuzz/findings
status=0
for target in input entry; do
  # New inputs go to a scratch corpus, so the committed seeds stay as they are.
  scratch=build-fuzz/corpus-$target
  mkdir -p "$scratch"
  echo "fuzzing $target for ${seconds}s"
  if ! build-fuzz/fuzz/keelmark_fuzz_$target "$scratch" fuzz/corpus/$target \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix=build-fuzz/findings/$target- 2>build-fuzz/fuzz-$target.log; then
    echo "FAIL: the $target fuzz target found a fault:" >&2
    grep -E 'ERROR|invariant|SUMMARY|Test unit written' build-fuzz/fuzz-$target.log >&2 || tail -n 30 build-fuzz/fuzz-$target.log >&2
    status=1
  else
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' build-fuzz/fuzz-$target.log | sed "s/^/  $target: /"
  fi
done
exit $status
