#!/usr/bin/env bash
# Makes the Debian packages, checks their control data (dependencies kept to the
# package that needs them, shlibs, licence and changelog in each) and lintian's
# verdict, installs them into a scratch root with dpkg, and then, with the build
# tree hidden, drives a goto and a stored action through the installed helper
# and logicsim alone. A missing interpreter must be logged at start and on each
# refused run. Finally the packages are removed and nothing may be left.
# Usage: package_in_scratch_root.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source "$(dirname "$0")/scratch.sh"

(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null)
packages=(marquee-helper libmarquee-client0 libmarquee-client-dev logicsim)
declare -A deb
for p in "${packages[@]}"; do
  deb[$p]=$(ls "$work"/package/"${p}"_*.deb 2>/dev/null) || fail "no package $p"
  contents=$(dpkg-deb -c "${deb[$p]}")
  grep -q "\./usr/share/doc/$p/copyright$" <<<"$contents" || fail "$p has no copyright file"
  grep -q "\./usr/share/doc/$p/changelog.gz$" <<<"$contents" || fail "$p has no changelog"
done
# Every program installed has its manual page in the same package.
for page in marquee-helper:marquee-helper marquee-helper:marquee marquee-helper:marquee-onboarding logicsim:logicsim; do
  contents=$(dpkg-deb -c "${deb[${page%%:*}]}")
  grep -q "\./usr/share/man/man1/${page#*:}\.1\.gz$" <<<"$contents" || fail "${page%%:*} has no manual page for ${page#*:}"
done
field() { dpkg-deb -f "${deb[$1]}" "$2"; }
for p in marquee-helper libmarquee-client0 libmarquee-client-dev; do
  if field "$p" Depends | grep -Eq 'libavformat|libavutil|libsndfile'; then
    fail "$p depends on logicsim's libraries: $(field "$p" Depends)"
  fi
done
field logicsim Depends | grep -q libavformat || fail "logicsim does not depend on FFmpeg: $(field logicsim Depends)"
field libmarquee-client-dev Depends | grep -q 'libmarquee-client0 (= 0.1.0)' || fail "the -dev package does not pin the library: $(field libmarquee-client-dev Depends)"
dpkg-deb -I "${deb[libmarquee-client0]}" shlibs | grep -q '^libmarquee-client 0 libmarquee-client0 (>= 0.1.0)$' || fail "no shlibs entry"
if dpkg-deb -I "${deb[marquee-helper]}" postinst >/dev/null 2>&1; then fail "marquee-helper has a postinst"; fi

# Lintian's verdict: no errors (warnings are listed, not fatal).
command -v lintian >/dev/null || fail "lintian is not installed (scripts/bootstrap.sh test installs it)"
lintian_out=$(lintian --no-tag-display-limit "${deb[@]}" 2>&1 || true)
if grep -q '^E: ' <<<"$lintian_out"; then fail "lintian errors: $lintian_out"; fi
grep '^W: ' <<<"$lintian_out" || true

root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The scratch root has no libraries installed as packages, so dependencies are
# not checked there; the packages' own files and scripts are.
dpkg_root() { dpkg --root="$root" --force-script-chrootless --force-not-root --force-depends --log=/dev/null "$@"; }
dpkg_root -i "${deb[@]}" >/dev/null 2>&1 || fail "dpkg -i failed"

arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
[ -e "$root/usr/lib/$arch/libmarquee-client.so.0" ] || fail "no library under its soname in the multiarch directory"
[ -e "$root/usr/lib/$arch/cmake/MarqueeClient/MarqueeClientConfig.cmake" ] || fail "no CMake package"
[ -x "$root/usr/libexec/marquee-helper/marquee-osascript" ] || fail "no stored actions' interpreter"
[ -x "$root/usr/bin/marquee-onboarding" ] || fail "no onboarding host"
grep -q "^ExecStart=/usr/bin/marquee-helper$" "$root/usr/lib/systemd/user/marquee-helper.service" || fail "the service does not start the installed helper"
[ ! -e "$root/etc/systemd/user/sockets.target.wants/marquee-helper.socket" ] || fail "installing enabled the user socket"
if grep -rlF "$build" "$root/usr" >/dev/null; then fail "installed files name the build tree: $(grep -rlF "$build" "$root/usr")"; fi

# From here on the build tree is out of sight (an empty directory mounted over
# it) and nothing points the helper at an interpreter.
cat >"$work/session.sh" <<'SESSION'
set -euo pipefail
root=$1 work=$2 build=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
source "$4"
mount -t tmpfs none "$build"
unset MARQUEE_STORED_ACTION_INTERPRETER
export XDG_RUNTIME_DIR=$work/run PATH=$root/usr/bin:/usr/bin:/bin
mkdir -m 700 "$XDG_RUNTIME_DIR"
pids=()
trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; wait 2>/dev/null || true' EXIT
start_helper() {
  marquee-helper >"$1" 2>&1 &
  helper=$!
  pids+=($helper)
  wait_for_socket "$XDG_RUNTIME_DIR/com.quillmoor.marquee.helper"
}

logicsim serve >"$work/logicsim.log" 2>&1 &
pids+=($!)
wait_for_socket "$XDG_RUNTIME_DIR/logicsim.sock"
start_helper "$work/helper.log"

marquee goto 3661.52 --fps 25 >/dev/null || fail "goto: $(cat "$work/helper.log")"
playhead=$(logicsim ctl state | python3 -c 'import json,sys; print("%.2f" % json.load(sys.stdin)["transport"]["playheadSeconds"])')
[ "$playhead" = "3661.52" ] || fail "logicsim's playhead is at $playhead after the goto"
logicsim ctl set-transport '{"playing": true}' >/dev/null
marquee action 5 >/dev/null || fail "stored action 5: $(cat "$work/helper.log")"
playing=$(logicsim ctl state | python3 -c 'import json,sys; print(json.load(sys.stdin)["transport"]["playing"])')
[ "$playing" = "False" ] || fail "stored action 5 did not stop the transport"
! grep -q "interpreter" "$work/helper.log" || fail "the helper complained: $(cat "$work/helper.log")"

# Without its interpreter the helper says so at start and on every refused run.
marquee relaunch >/dev/null || fail "relaunch"
wait "$helper" || fail "the helper ended with status $? on relaunch"
rm -f "$XDG_RUNTIME_DIR/com.quillmoor.marquee.helper"
mv "$root/usr/libexec/marquee-helper/marquee-osascript" "$work/moved-interpreter"
start_helper "$work/helper-without.log"
set +e
marquee action 5 >/dev/null 2>&1; first=$?
marquee action 5 >/dev/null 2>&1; second=$?
set -e
[ "$first" -eq 1 ] && [ "$second" -eq 1 ] || fail "stored actions without an interpreter: exit $first, $second"
mv "$work/moved-interpreter" "$root/usr/libexec/marquee-helper/marquee-osascript"
interpreter=$root/usr/libexec/marquee-helper/marquee-osascript
grep -q "Stored action interpreter $interpreter cannot be run (No such file or directory); requests that drive Logic will fail" "$work/helper-without.log" \
  || fail "no error line at start: $(cat "$work/helper-without.log")"
refused=$(grep -c "Stored action interpreter $interpreter cannot be run (No such file or directory); stored action 5 refused" "$work/helper-without.log" || true)
[ "$refused" -eq 2 ] || fail "$refused error lines for two refused runs: $(cat "$work/helper-without.log")"
SESSION
unshare --mount bash "$work/session.sh" "$root" "$work" "$build" "$(dirname "$0")/wait_for_socket.sh" || fail "the session through the installed packages failed"

dpkg_root -r "${packages[@]}" >/dev/null 2>&1 || fail "dpkg -r failed"
left=$(find "$root" -path "$root/var" -prune -o -type f -print -o -type l -print)
[ -z "$left" ] || fail "files left after removal: $left"
echo "four packages: lintian without errors; installed into a scratch root, drove logicsim with the build tree hidden, removed cleanly"
