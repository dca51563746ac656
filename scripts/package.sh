#!/usr/bin/env bash
# Builds the release zip: both programs, README, LICENSE and their SHA-256
# sums, in build/release/tarvello-1.0-win64.zip.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh win tarvello tarvello-cli
out=build/release
name=tarvello-1.0-win64
rm -rf "$out/$name" "$out/$name.zip"
mkdir -p "$out/$name"
cp build/win/tarvello.exe build/win/tarvello-cli.exe README.md LICENSE "$out/$name/"
x86_64-w64-mingw32-strip "$out/$name/"*.exe
(cd "$out/$name" && sha256sum tarvello.exe tarvello-cli.exe README.md LICENSE > SHA256SUMS.txt)
python3 - "$out/$name" "$out/$name.zip" <<'PY'
import os, sys, zipfile
folder, target = sys.argv[1], sys.argv[2]
base = os.path.basename(folder)
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as z:
    for name in sorted(os.listdir(folder)):
        z.write(os.path.join(folder, name), f"{base}/{name}")
PY
(cd "$out" && sha256sum "$name.zip" > "$name.zip.sha256")
echo "release: $out/$name.zip"
cat "$out/$name/SHA256SUMS.txt"
