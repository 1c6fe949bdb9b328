#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (missing packages only), builds and runs
# every test twice: a normal build in build/, and a build with the address and
# undefined-behaviour sanitizers in build-asan/ that fails on any report.
# Then one small run of each deliverable under valgrind, and each fuzz target
# for VELVANE_FUZZ_SECONDS seconds (default 60).
# Tests labelled "long" are skipped; run them with
#   ctest --test-dir build -L long
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)

scripts/setup-deps.sh

echo "== normal build =="
scripts/build.sh build
ctest --test-dir build --output-on-failure -j "$jobs" -LE long

echo "== sanitized build (address, undefined) =="
scripts/build.sh build-asan -DVELVANE_SANITIZE=ON -DVELVANE_BUILD_BENCH=OFF
export ASAN_OPTIONS=abort_on_error=0:halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE long

echo "== valgrind =="
scripts/valgrind.sh

echo "== fuzzing =="
scripts/fuzz.sh "${VELVANE_FUZZ_SECONDS:-60}"

echo "All tests passed (normal, sanitized, valgrind, fuzzing)."
