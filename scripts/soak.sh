#!/usr/bin/env bash
# The adversary for longer than the test run gives it: 100,000 cases of the
# native property by default, then the image adversary under Wine with 200
# seeds a file system (scripts/soak.sh [CASES] [SEED] [IMAGE_SEEDS]). A
# failure prints its seed and its scenario; run the same line again with that
# seed to replay it (for the images, SEED is the first seed of the run).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cases=${1:-100000}
seed=${2:-}
images=${3:-200}
bash scripts/deps.sh
bash scripts/build.sh native adversary_test
args=(--cases "$cases")
[ -n "$seed" ] && args+=(--seed "$seed")
build/native/adversary_test "${args[@]}"

bash scripts/build.sh win image_adversary_test
source scripts/wine-env.sh
wine_setup "$root/build/win"
trap wine_teardown EXIT
wine_graphics null
cd build/win
TARVELLO_IMAGE_SEEDS=$images TARVELLO_IMAGE_SEED=${seed:-1} wine image_adversary_test.exe
