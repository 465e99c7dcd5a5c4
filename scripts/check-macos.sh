#!/usr/bin/env bash
# Type-checks the macOS backend on a machine without a Mac SDK.
#
# 1. Builds the Objective-C side of MQHelperXPCProtocol from the request table
#    (app/macos/generator) into a scratch directory.
# 2. Fails when a file outside the macOS folders includes an Apple header, or
#    includes one of the macOS folders.
# 3. Fails when cmake/MacOS.cmake names a source that does not exist.
# 4. Configures the macOS build (cmake/MacOS.cmake) as for Darwin, with the
#    compilers not run and this machine's libraries standing in for Homebrew's:
#    the target graph, the generated plists and the signing step come out, or
#    the check fails. Skipped when files are named.
# 5. Compiles every file of platform/macos/, app/macos/ and tests/contract/macos/
#    with clang as Objective-C++ for the macOS runtime, with ARC and blocks,
#    against platform/macos/sdk-check/ (Apple's declarations, written from the
#    public reference; never a real SDK here). A call or a type the backend uses
#    that those headers do not declare as Apple does fails the check.
#
# Usage: scripts/check-macos.sh [--root DIR] [FILE...]
#   --root DIR  the source tree to check (default: this repository)
#   FILE...     compile only these files (relative to the root); default: all
# Environment: MQ_CHECK_CLANG (default clang++), MQ_CHECK_JOBS (default 2).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
if [[ ${1:-} == --root ]]; then
    root=$(cd "$2" && pwd)
    shift 2
fi
clang=${MQ_CHECK_CLANG:-clang++}
jobs=${MQ_CHECK_JOBS:-2}
cd "$root"
start=$(date +%s%N)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 1. The generated protocol, exported methods and client calls.
"$clang" -std=c++20 -Wall -Werror -I"$root" -I"$root/include" app/macos/generator/GenerateObjCProtocol.cpp \
    protocol/ParameterNames.cpp -o "$work/mq-objc-protocol-gen"
"$work/mq-objc-protocol-gen" "$work"

# 2. Apple headers stay in the macOS folders.
macos_dirs=(platform/macos app/macos tests/contract/macos)
apple_headers='(CoreFoundation|ApplicationServices|CoreServices|CoreGraphics|Foundation|AppKit|Carbon|CommonCrypto|QuartzCore|Security|IOKit|objc|os|dispatch)/'
leaks=$(grep -rEn --include='*.h' --include='*.cpp' --include='*.hpp' --include='*.mm' --include='*.m' \
    "^[[:space:]]*#[[:space:]]*(include|import)[[:space:]]*[<\"](${apple_headers}|platform/macos/|app/macos/)" \
    --exclude-dir=build --exclude-dir=.git . \
    | grep -vE "^\./($(IFS='|'; echo "${macos_dirs[*]}"))/" || true)
if [[ -n $leaks ]]; then
    echo "check-macos: Apple or macOS-only headers included outside ${macos_dirs[*]}:" >&2
    echo "$leaks" >&2
    exit 1
fi

# 3. Every file that the macOS build names exists (the build itself runs only on a Mac).
missing=$(grep -oE '[A-Za-z0-9_./-]+\.(mm|cpp|in|entitlements)\b' cmake/MacOS.cmake | sort -u | while read -r listed; do
    listed=${listed#/}
    [[ -e $listed ]] || echo "$listed"
done)
if [[ -n $missing ]]; then
    echo "check-macos: cmake/MacOS.cmake names files that do not exist:" >&2
    echo "$missing" >&2
    exit 1
fi

# 4. The macOS build's CMake configures and generates.
if (($# == 0)); then
    if ! cmake -G Ninja -S "$root" -B "$work/darwin" -DCMAKE_SYSTEM_NAME=Darwin -DMQ_BUILD_BENCH=OFF \
        -DCMAKE_CXX_COMPILER="$(command -v "$clang")" -DCMAKE_OBJCXX_COMPILER="$(command -v "$clang")" \
        -DCMAKE_CXX_COMPILER_WORKS=1 -DCMAKE_OBJCXX_COMPILER_WORKS=1 -DCMAKE_INSTALL_NAME_TOOL=/bin/true \
        -DCMAKE_LIBRARY_ARCHITECTURE="$(gcc -print-multiarch)" -DCMAKE_PREFIX_PATH=/usr >"$work/darwin.log" 2>&1 \
        || ! grep -q "MarqueeHelper.app/Contents/MacOS/MarqueeHelper" "$work/darwin/build.ninja"; then
        echo "check-macos: cmake/MacOS.cmake does not configure:" >&2
        cat "$work/darwin.log" >&2
        exit 1
    fi
fi

# 5. Every file, or the ones named.
if (($# > 0)); then
    files=("$@")
else
    mapfile -t files < <(find "${macos_dirs[@]}" -path platform/macos/sdk-check -prune -o \
        \( -name '*.mm' -o -name '*.h' -o -name '*.cpp' \) -type f -print | sort)
fi
compile_one() {
    local file=$1 language=objective-c++
    [[ $file == *.h ]] && language=objective-c++-header
    local log="$work/${file//\//_}.log"
    # -Wall -Werror, and the rest of the project's own warning set.
    if ! "$clang" -x "$language" -std=c++20 -fobjc-runtime=macosx-13.0 -fobjc-arc -fblocks -fsyntax-only -Wall -Werror \
        -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wformat=2 \
        -Wimplicit-fallthrough \
        -isystem "$root/platform/macos/sdk-check" -I"$root" -I"$root/include" -I"$work" \
        -DMQ_CONTRACT_APP_PATH='"/Applications/marquee-contract-app.app"' "$file" 2>"$log"; then
        echo "check-macos: $file does not compile against the declared SDK:" >&2
        cat "$log" >&2
        return 255
    fi
}
export -f compile_one
export clang work root
printf '%s\0' "${files[@]}" | xargs -0 -n 1 -P "$jobs" bash -c 'compile_one "$1"' _

elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
printf 'check-macos: %d files type-checked against platform/macos/sdk-check in %d.%d s\n' "${#files[@]}" \
    $((elapsed_ms / 1000)) $((elapsed_ms % 1000 / 100))
