#!/usr/bin/env bash
# Installs the Debian packages the project needs, when they are missing.
# Usage: scripts/bootstrap.sh [test]
#   (none)  what building the programs needs (the demo, the packages)
#   test    that, plus what the test suite, the benchmarks and the ASan build need
# Safe to run again: it only calls apt-get when something is not installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libasio-dev libmsgpack-cxx-dev libssl-dev libcurl4-openssl-dev nlohmann-json3-dev
  libspdlog-dev libfmt-dev libsystemd-dev libcli11-dev
  qt6-base-dev
  libavformat-dev libsndfile1-dev
  python3 fonts-dejavu-core
)
if [ "${1:-}" = test ]; then
  packages+=(
    git libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    dpkg-dev systemd lintian
    zsh fish
  )
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "bootstrap: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "bootstrap: missing packages and not root; run as root or install them: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
