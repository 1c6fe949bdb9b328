#!/usr/bin/env bash
# Builds bench_analysis and velvane in build/, runs the analysis benchmarks
# (medians of 5 repetitions; the multi-second 24-megapixel chart search and
# whole run take 3), then runs the real program on the generated 24-megapixel
# photograph under /usr/bin/time -v, with the 24- and the 2-megapixel
# calibration photograph, and prints wall time and peak memory.
#
# Usage: scripts/bench.sh [extra benchmark arguments, e.g. --benchmark_filter=WriteLab]
# The generated inputs stay in build/bench-data/; the results also go to
# build/bench-analysis.json.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup-deps.sh time

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target bench_analysis velvane -j2

data=build/bench-data
echo "== load before: $(uptime)"
build/bench/bench_analysis --bench_data="$data" \
  --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$root/build/bench-analysis.json" --benchmark_out_format=json "$@"
echo "== load after: $(uptime)"

# The real program, as a user runs it: working folder with data/, output on disk.
run_velvane() {
  local calib=$1
  local log
  log=$(mktemp)
  (cd "$data" && /usr/bin/time -v ../app/velvane photo-24mp.jpg "$calib" out-velvane.txt \
      >velvane-stdout.txt 2>"$log") || { cat "$log"; rm -f "$log"; return 1; }
  local wall rss
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$log")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log")
  printf '%-22s wall %s  max RSS %d MiB  (%s)\n' "$calib" "$wall" $((rss / 1024)) \
    "$(grep -a -o 'Matching Angle.*' "$data/velvane-stdout.txt" | head -1)"
  rm -f "$log" "$data/out-velvane.txt" "$data/velvane-stdout.txt"
}
echo "== velvane photo-24mp.jpg (6000 x 4000), load: $(uptime | sed 's/.*load/load/')"
run_velvane calibration-24mp.jpg
run_velvane calibration.jpg
