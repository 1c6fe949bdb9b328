#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, address and undefined-behaviour
# sanitizers) in build-fuzz/ and runs each for a given time.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target ...]
# Targets: csv, calibration, specklecut (default: all three).
# New inputs go to build-fuzz/corpus/<target>; the committed seeds in
# tests/fuzz/corpus/<target> are only read. Crashes land in build-fuzz/artifacts/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-60}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(csv calibration specklecut)
fi

scripts/setup-deps.sh clang libclang-rt-14-dev libomp-14-dev
CC=clang CXX=clang++ scripts/build.sh build-fuzz -DVELVANE_FUZZ=ON -DVELVANE_SANITIZE=ON \
  -DVELVANE_BUILD_TESTS=OFF -DVELVANE_BUILD_BENCH=OFF

# Decoded images stay small, so that one input takes milliseconds.
export OPENCV_IO_MAX_IMAGE_PIXELS=1048576
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p build-fuzz/artifacts
for t in "${targets[@]}"; do
  echo "== fuzz_$t for ${seconds}s =="
  mkdir -p "build-fuzz/corpus/$t"
  # Absolute paths: a target may change its working directory.
  "$root/build-fuzz/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$root/build-fuzz/artifacts/$t-" \
    "$root/build-fuzz/corpus/$t" "$root/tests/fuzz/corpus/$t"
done
echo "Fuzzing found nothing."
