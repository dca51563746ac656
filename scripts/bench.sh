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
# The 100,000 files for the file list, made from the host: under Wine each
# new name is checked against the whole folder.
files="$WINEPREFIX/drive_c/bench-files"
if [ ! -f "$files/.complete" ]; then
  rm -rf "$files"
  mkdir -p "$files"
  (cd "$files" && seq 0 99999 | sed 's/^/document-/; s/$/.txt/' | xargs touch)
  touch "$files/.complete"
fi

# The free-space wipe writes a whole drive: a 400 MiB ext4 image of its own,
# mapped as W:, never a real drive.
bench_disk=/tmp/tarvello-bench-disk
wipe_ready=0
if [ $# -eq 0 ] || [[ " $* " == *" free_space "* ]]; then
  if bash scripts/raw_disk.sh make ext4 "$bench_disk" W 400; then
    wipe_ready=1
    sleep 2  # Wine reads its list of drives again after a second
  else
    echo "free_space: no test drive can be made here; skipped"
  fi
fi

for b in build/win/bench_*.exe; do
  name=$(basename "$b" .exe | sed 's/^bench_//')
  [ $# -gt 0 ] && [[ " $* " != *" $name "* ]] && continue
  echo "== $name"
  args=()
  [ "$name" = file_list ] && args=('C:\bench-files')
  if [ "$name" = free_space ]; then
    [ "$wipe_ready" = 1 ] || continue
    args=('W:\')
  fi
  wine "$b" "${args[@]}" 2>&1 | tr -d '\r'
done
[ "$wipe_ready" = 1 ] && bash scripts/raw_disk.sh remove "$bench_disk" W
exit 0
