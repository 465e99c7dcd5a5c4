#!/usr/bin/env bash
# Makes the Debian package, installs it into a scratch root with dpkg (its
# maintainer scripts run against that root), runs `marquee --version` from there,
# checks that the user socket is enabled, and removes the package again.
# Usage: package_in_scratch_root.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null)
deb=$(ls "$work"/package/marquee-helper_*.deb)

root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The scratch root has no libraries installed as packages, so dependencies are
# not checked there; the package's own files and scripts are.
dpkg_root() { dpkg --root="$root" --force-script-chrootless --force-not-root --force-depends --log=/dev/null "$@"; }
dpkg_root -i "$deb" >/dev/null 2>&1 || fail "dpkg -i failed"

version=$("$root/usr/bin/marquee" --version)
grep -q "^marquee 0.1.0 (marquee-client 0.1.0)$" <<<"$version" || fail "marquee --version: $version"
grep -q "^marquee-helper 0.1.0$" <<<"$version" || fail "the helper beside marquee was not asked: $version"
[ -L "$root/etc/systemd/user/sockets.target.wants/marquee-helper.socket" ] || fail "the user socket is not enabled"
grep -q "^ExecStart=/usr/bin/marquee-helper$" "$root/usr/lib/systemd/user/marquee-helper.service" || fail "the service does not start the installed helper"
[ -e "$root/usr/lib/libmarquee-client.so.0" ] || fail "no library with its soname"
[ -e "$root/usr/lib/cmake/MarqueeClient/MarqueeClientConfig.cmake" ] || fail "no CMake package"

dpkg_root -r marquee-helper >/dev/null 2>&1 || fail "dpkg -r failed"
left=$(find "$root" -path "$root/var" -prune -o -type f -print -o -type l -print)
[ -z "$left" ] || fail "files left after removal: $left"
echo "installed into and removed from a scratch root cleanly"
