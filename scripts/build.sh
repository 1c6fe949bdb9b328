#!/usr/bin/env bash
# Configures and builds one build folder.
# Usage: scripts/build.sh <build-dir> [extra cmake arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" -j "$jobs"
