// marquee-onboarding on a Mac: shows the permissions onboarding window for the
// checks of the macOS backend and ends when it closes.
#import <AppKit/AppKit.h>

#import "app/macos/onboarding/PermissionsOnboardingWindowController.h"

#include "app/onboarding/PlatformOnboardingPermissions.h"
#include "platform/macos/MacPlatform.h"

namespace {
NSApplication* g_application;
PermissionsOnboardingWindowController* g_controller;
} // namespace

int main(int argc, const char* argv[])
{
    (void)argc;
    (void)argv;
    @autoreleasepool {
        g_application = [NSApplication sharedApplication];
        [g_application setActivationPolicy:NSApplicationActivationPolicyRegular];
        static mq::platform::macos::MacPlatform desktop;
        static mq::permissions::PlatformOnboardingPermissions permissions(desktop.platform());
        g_controller = [[PermissionsOnboardingWindowController alloc] initWithPermissions:permissions
                                                                                  onClose:^{
                                                                                      [g_application terminate:nil];
                                                                                  }];
        [g_controller.window makeKeyAndOrderFront:nil];
        [g_application activateIgnoringOtherApps:YES];
        [g_application run];
    }
    return 0;
}
