// MarqueeHelper: the background application that drives Logic Pro for the
// Marquee plug-in. A background application (LSUIElement): no Dock icon, no
// window at start-up.
#import <AppKit/AppKit.h>

#import "app/macos/AppDelegate.h"

namespace {
// The application object and its delegate live as long as the process: the
// application's delegate reference alone would not keep the delegate alive.
NSApplication* g_application;
AppDelegate* g_delegate;
} // namespace

int main(int argc, const char* argv[])
{
    (void)argc;
    (void)argv;
    @autoreleasepool {
        g_application = [NSApplication sharedApplication];
        g_delegate = [[AppDelegate alloc] init];
        g_application.delegate = g_delegate;
        [g_application run];
    }
    return 0;
}
