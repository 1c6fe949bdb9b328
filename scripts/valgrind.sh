#!/usr/bin/env bash
# Runs one small end-to-end job of each deliverable under valgrind (memcheck),
# failing on any error it reports. Needs the normal build in build/.
#   velvane:    calibrates on the sample chart and converts the sample photograph
#   specklecut: the installed-layout library loaded with dlopen and called
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup-deps.sh valgrind
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
vg=(valgrind --error-exitcode=1 -q)

echo "== valgrind: velvane on the sample data =="
(cd samples && "${vg[@]}" "$root/build/app/velvane" photo.png calibration.jpg "$out/photo-lab.txt" >/dev/null)
test "$(wc -l < "$out/photo-lab.txt")" -gt 0

echo "== valgrind: specklecut through dlopen =="
"${vg[@]}" build/tests/specklecut/specklecut_load_test --gtest_brief=1
echo "valgrind found no errors."
