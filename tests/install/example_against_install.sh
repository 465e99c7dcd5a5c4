#!/usr/bin/env bash
# Installs the build into a scratch prefix, builds examples/plugin-side against
# that prefix alone (CMake package, and pkg-config), then runs it without a
# helper (it must say so) and against the installed logicsim and helper. The
# installed headers are the public set alone: include/marquee and nothing else.
# Usage: example_against_install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
source "$(dirname "$0")/scratch.sh"

prefix=$work/prefix
touch "$work/before-install"
cmake --install "$build" --prefix "$prefix" >/dev/null
# Installing leaves the build tree as it was: CMake's own manifest aside, and
# CTest's logs under Testing/, which the running suite writes meanwhile.
changed=$(find "$build" -path "$build/Testing" -prune -o -newer "$work/before-install" -type f ! -name 'install_manifest*.txt' -print)
[ -z "$changed" ] || fail "installing wrote into the build tree: $changed"

headers=$(cd "$prefix/include" && find . -type f | sort)
if grep -v '^\./marquee/[A-Za-z]*\.h$' <<<"$headers"; then
  fail "headers installed outside include/marquee"
fi
# Every installed header includes nothing of ours but <marquee/...>.
if grep -rhE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<][a-z]+/' "$prefix/include" | grep -vE '["<](marquee|sys)/'; then
  fail "an installed header includes a header that is not installed"
fi

# The CMake package: nothing of the source or build tree is visible.
cmake -S "$source/examples/plugin-side" -B "$work/example" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/example" >/dev/null
example=$work/example/plugin-side
# The pkg-config file, found from where it was installed.
pkgconfig=$(dirname "$(find "$prefix" -name marquee-client.pc)")
flags=$(PKG_CONFIG_PATH="$pkgconfig" pkg-config --cflags --libs marquee-client)
case "$flags" in *"$prefix"*) ;; *) fail "pkg-config flags do not point into the prefix: $flags" ;; esac
# shellcheck disable=SC2086
c++ "$source/examples/plugin-side/main.cpp" $flags -Wl,-rpath,"$(dirname "$pkgconfig")" -o "$work/plugin-side-pc"

export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$XDG_RUNTIME_DIR"

# No helper: the plug-in side says so and ends with its own status.
set +e
output=$("$example" 2>&1)
status=$?
set -e
[ "$status" -eq 3 ] || fail "without a helper: exit $status, expected 3: $output"
grep -q "helper not available" <<<"$output" || fail "without a helper: $output"

"$prefix/bin/logicsim" serve >"$work/logicsim.log" 2>&1 &
pids+=($!)
wait_for_socket "$XDG_RUNTIME_DIR/logicsim.sock"
"$prefix/bin/marquee-helper" >"$work/helper.log" 2>&1 &
pids+=($!)
wait_for_socket "$XDG_RUNTIME_DIR/com.quillmoor.marquee.helper"

for program in "$example" "$work/plugin-side-pc"; do
  output=$("$program" --follow 0.5) || fail "$program: $output"
  grep -q "^marquee-client 0.1.0$" <<<"$output" || fail "no library version: $output"
  grep -q "^playhead 3600.000 s 01:00:00:00$" <<<"$output" || fail "no playhead: $output"
  grep -q "^scrub 3600.000 s valid 1$" <<<"$output" || fail "no scrub reading: $output"
done
echo "the example built against the installed tree talks to the installed helper"
