#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine (headless). Each prints its figure
# beside a baseline measured in the same run, and their ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh
bash scripts/build.sh win
source scripts/wine-env.sh
wine_setup "$root/build/win"
trap wine_teardown EXIT
wine_graphics null
for b in build/win/bench_*.exe; do
  [ $# -gt 0 ] && [[ " $* " != *" $(basename "$b" .exe | sed 's/^bench_//') "* ]] && continue
  echo "== $(basename "$b" .exe)"
  wine "$b" 2>&1 | tr -d '\r'
done
