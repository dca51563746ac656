#!/usr/bin/env bash
# Configures and builds one side: "win" (mingw-w64, the program and the Wine
# tests) or "native" (the code that needs no Windows, under the sanitizers).
set -euo pipefail
cd "$(dirname "$0")/.."
side=$1
shift
case "$side" in
  win) cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null ;;
  native) cmake -S . -B build/native -G Ninja >/dev/null ;;
  *) echo "usage: build.sh win|native [target...]" >&2; exit 2 ;;
esac
if [ $# -gt 0 ]; then
  cmake --build "build/$side" --target "$@"
else
  cmake --build "build/$side"
fi
