#!/usr/bin/env bash
# The whole test suite: checks that the layers point down, installs what is
# missing, builds, runs every test through CTest.
# Usage: scripts/test.sh [preset]   (preset "asan" runs the suite under ASan/UBSan)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
scripts/check-layers.sh
scripts/build.sh "$preset"
ctest --preset "$preset"
