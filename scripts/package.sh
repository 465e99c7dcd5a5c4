#!/usr/bin/env bash
# Builds the Debian packages: marquee-helper, libmarquee-client0,
# libmarquee-client-dev and logicsim, into build/packages/ (tests and benchmarks
# are not built). Runs lintian on them when it is installed.
# Install them with: apt-get install ./build/packages/*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh release
rm -rf build/packages
(cd build/release && cpack -G DEB -B "$PWD/../packages" >/dev/null)
rm -rf build/packages/_CPack_Packages
if command -v lintian >/dev/null; then
  lintian build/packages/*.deb || true
fi
ls -1 "$PWD"/build/packages/*.deb
