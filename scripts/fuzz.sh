#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each on its seed corpus.
# Usage: scripts/fuzz.sh [seconds per target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DQRB_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build "$build"
for t in $(cat "$build/fuzz-targets.txt" | tr ';' ' '); do
  corpus=fuzz/corpus/$t
  work=$build/corpus-$t
  rm -rf "$work"; mkdir -p "$work"
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "-- $t"
  # A finding is written beside the build, not into the source tree; an input that runs longer
  # than the time-out (an endless loop) is a finding too.
  LSAN_OPTIONS=suppressions=$PWD/.ci/lsan.supp \
    "$build/$t" -max_total_time="$seconds" -print_final_stats=1 -timeout=25 -artifact_prefix="$build/$t-" "$work"
done
