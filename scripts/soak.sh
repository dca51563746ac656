#!/usr/bin/env bash
# The adversary for longer than the test run gives it: 100,000 cases of the
# native property by default (scripts/soak.sh [CASES] [SEED]), then the image
# adversary under Wine with more seeds. A failure prints its seed and its
# scenario; run the same line again with that seed to replay it.
set -euo pipefail
cd "$(dirname "$0")/.."
cases=${1:-100000}
seed=${2:-}
bash scripts/deps.sh
bash scripts/build.sh native adversary_test
args=(--cases "$cases")
[ -n "$seed" ] && args+=(--seed "$seed")
build/native/adversary_test "${args[@]}"
