#!/usr/bin/env bash
# Installs what is missing, builds both sides and runs every test: natively
# under AddressSanitizer and UBSan, then under Wine (headless, and on a virtual
# display for the tests that need real pixels). Ends with the test counts.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh
bash scripts/build.sh native
bash scripts/build.sh win

source scripts/wine-env.sh
wine_setup "$root/build/win"
# A run stopped at another display scale leaves the prefix at 96 again.
trap "wine reg add 'HKCU\\Control Panel\\Desktop' /v LogPixels /t REG_DWORD /d 96 /f \
  </dev/null >/dev/null 2>&1; wine_teardown" EXIT

passed=0
failed=0
skipped=0
status=0
times=$(mktemp)
# Runs ctest in a build folder with extra arguments and adds up its counts.
run_ctest() {
  local dir=$1 log
  shift
  log=$(mktemp)
  (cd "$dir" && ctest --output-on-failure --timeout 120 "$@") 2>&1 | tr -d '\r' | tee "$log" || status=1
  # "  3/114 Test   #3: wine.X ......   Passed    1.23 sec": name and seconds.
  sed -nE 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .* ([0-9]+\.[0-9]+) sec$/\2 \1/p' "$log" >>"$times"
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1 || true)
  if [ -n "$line" ]; then
    local total bad
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    local skip
    skip=$(grep -cE '^[[:space:]]+[0-9]+ - .*\(Skipped\)$' "$log" || true)
    passed=$((passed + total - bad - skip))
    failed=$((failed + bad))
    skipped=$((skipped + skip))
    [ "$bad" -eq 0 ] || status=1
  elif ! grep -q 'No tests were found' "$log"; then
    status=1
  fi
  rm -f "$log"
}

echo "== native tests"
run_ctest build/native

echo "== Wine tests, headless"
wine_graphics null
run_ctest build/win -LE display

# The window at 125 % and 150 %: the prefix's display scale (LogPixels),
# read by a wineserver started after it is set; 96 again afterwards.
set_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
    </dev/null >/dev/null 2>&1
  wine_graphics null
}
for dpi in 120 144; do
  echo "== Wine tests at $dpi dots per inch"
  set_dpi "$dpi"
  TARVELLO_EXPECT_DPI=$dpi run_ctest build/win -R 'TheLayoutFollowsTheDisplayScale'
done
set_dpi 96

echo "== Wine tests on a virtual display"
xvfb_start
wine_graphics x11
run_ctest build/win -L display
wine_graphics null
for bmp in build/win/screenshots/*.bmp; do
  [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo "Screenshots: build/win/screenshots/"

echo
echo "$passed passed, $failed failed, $skipped skipped"
echo "Slowest tests (seconds):"
sort -rn "$times" | sed -n '1,5s/^/  /p'
rm -f "$times"
exit $status
