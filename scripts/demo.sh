#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (missing packages only), builds velvane and
# runs it on the shipped sample data: calibrates on samples/calibration.jpg and
# converts samples/photo.png to L*a*b*, written to out/photo-lab.txt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup-deps.sh
scripts/build.sh build
mkdir -p out
# velvane reads its reference data (data/...) from the working directory.
(cd samples && ../build/app/velvane photo.png calibration.jpg ../out/photo-lab.txt)
echo
echo "Output: $root/out/photo-lab.txt ($(wc -l < out/photo-lab.txt) lines, one per image row)"
