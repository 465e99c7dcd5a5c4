#!/usr/bin/env bash
# scripts/check-macos.sh must fail when a macOS source calls something the
# declared SDK lacks or passes a wrong type, and when an Apple header is included
# outside the macOS folders; and pass a correct file. Each case injects one file
# into a scratch copy of the tree and checks only that file.
set -euo pipefail
source_root=$(cd "$(dirname "$0")/../.." && pwd)
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
tar -C "$source_root" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xf -

failures=0
# expect <pass|fail> <file> <text the output must contain> <<< source
expect() {
    local outcome=$1 file=$2 needle=$3
    cat >"$copy/$file"
    local output status=0
    output=$("$copy/scripts/check-macos.sh" --root "$copy" "$file" 2>&1) || status=$?
    if [[ $outcome == pass && $status -ne 0 ]] || [[ $outcome == fail && $status -eq 0 ]]; then
        echo "FAIL: $file should $outcome; status $status:"
        echo "$output"
        failures=$((failures + 1))
    elif [[ -n $needle && $output != *"$needle"* ]]; then
        echo "FAIL: $file: the output does not name \"$needle\":"
        echo "$output"
        failures=$((failures + 1))
    else
        echo "ok: $file: ${outcome}${needle:+ (\"$needle\")}"
    fi
    rm -f "$copy/$file"
}

expect fail platform/macos/InjectedUndeclared.mm "use of undeclared identifier 'CGDisplayHideCursor'" <<'SRC'
#include <ApplicationServices/ApplicationServices.h>
void hideCursor() { CGDisplayHideCursor(0); }
SRC

expect fail platform/macos/InjectedWrongArgument.mm "no matching function for call to 'AXUIElementPerformAction'" <<'SRC'
#include <ApplicationServices/ApplicationServices.h>
AXError press(AXUIElementRef element, CFStringRef action) { return AXUIElementPerformAction(action, element); }
SRC

expect fail app/macos/InjectedWrongMessage.mm "cannot initialize a parameter of type 'NSURL *'" <<'SRC'
#import <AppKit/AppKit.h>
BOOL openPane(NSString* address) { return [[NSWorkspace sharedWorkspace] openURL:address]; }
SRC

expect fail app/macos/InjectedWrongBlock.mm "with an rvalue of type 'void (^)(int)'" <<'SRC'
#import <Foundation/Foundation.h>
void watch(NSNotificationCenter* center) {
    [center addObserverForName:nil object:nil queue:nil usingBlock:^(int notification) { (void)notification; }];
}
SRC

expect fail logic/InjectedAppleHeader.cpp "Apple or macOS-only headers included outside" <<'SRC'
#include <CoreFoundation/CoreFoundation.h>
SRC

expect pass platform/macos/InjectedCorrect.mm "1 files type-checked" <<'SRC'
#include <ApplicationServices/ApplicationServices.h>
AXError bound(AXUIElementRef element) { return AXUIElementSetMessagingTimeout(element, 1.0f); }
SRC

exit $((failures > 0))
