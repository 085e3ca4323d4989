#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs them side by
# side for a bounded time from the committed seeds. Any finding fails the
# run; its input is left in build-fuzz/findings/.
# Usage: scripts/fuzz.sh [SECONDS-PER-TARGET]   (15 unless told)
#        scripts/fuzz.sh --build-only
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEELMARK_FUZZ=ON -DBUILD_TESTING=OFF \
  -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target keelmark_fuzz_input keelmark_fuzz_entry
[[ $seconds == --build-only ]] && exit 0

mkdir -p build-fuzz/findings
# Fuzz TARGET: one target's run; its log is build-fuzz/fuzz-TARGET.log.
Fuzz() {
  local target=$1 scratch=build-fuzz/corpus-$1
  # New inputs go to a scratch corpus, so the committed seeds stay as they are.
  mkdir -p "$scratch"
  build-fuzz/fuzz/keelmark_fuzz_$target "$scratch" fuzz/corpus/$target \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix=build-fuzz/findings/$target- 2>build-fuzz/fuzz-$target.log
}
targets=(input entry)
declare -A runs
for target in "${targets[@]}"; do
  echo "fuzzing $target for ${seconds}s"
  Fuzz "$target" &
  runs[$target]=$!
done
status=0
for target in "${targets[@]}"; do
  if ! wait "${runs[$target]}"; then
    echo "FAIL: the $target fuzz target found a fault:" >&2
    grep -E 'ERROR|invariant|SUMMARY|Test unit written' build-fuzz/fuzz-$target.log >&2 || tail -n 30 build-fuzz/fuzz-$target.log >&2
    status=1
  else
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' build-fuzz/fuzz-$target.log | sed "s/^/  $target: /"
  fi
done
exit $status
