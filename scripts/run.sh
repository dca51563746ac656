#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it under Wine on the
# user's X display. Without one it starts it on a virtual display, saves a
# screenshot and says where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh
bash scripts/build.sh win tarvello

source scripts/wine-env.sh
wine_setup "$root/build/win"
trap wine_teardown EXIT
exe="$root/build/win/tarvello.exe"

if [ -n "${DISPLAY:-}" ] && xset q >/dev/null 2>&1; then
  wine_graphics x11
  wine "$exe"
  exit 0
fi

xvfb_start
wine_graphics x11
wine "$exe" </dev/null >/dev/null 2>&1 &
sleep 4
shot="$root/build/win/tarvello-run.png"
import -window root -trim +repage "$shot"
echo "No X display: tarvello.exe ran on a virtual display; its screenshot is $shot"
