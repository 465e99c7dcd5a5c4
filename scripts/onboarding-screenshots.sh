#!/usr/bin/env bash
# Regenerates the pictures of the permissions onboarding window in docs/
# (nothing granted, one granted, all but System Events), drawn offscreen: no
# display needed. Usage: scripts/onboarding-screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target onboarding-screenshots
# Drawn at twice the size, as on a Retina screen; the README shows them at 520.
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 build/default/tests/onboarding/onboarding-screenshots docs
