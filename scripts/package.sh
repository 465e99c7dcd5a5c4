#!/usr/bin/env bash
# Builds the Debian package of the helper, the marquee tool, logicsim, the user
# units and the client library: build/default/marquee-helper_<version>_<arch>.deb.
# Install it with: apt-get install ./build/default/marquee-helper_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh default
cd build/default
cpack -G DEB
ls -1 "$PWD"/marquee-helper_*.deb
