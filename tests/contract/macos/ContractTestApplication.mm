// marquee-contract-app: the application of our own that the seam's contract tests
// drive on a Mac in place of Logic: a regular application with one titled window.
#import <AppKit/AppKit.h>

namespace {
NSApplication* g_application;
NSWindow* g_window;
} // namespace

int main(int argc, const char* argv[])
{
    (void)argc;
    (void)argv;
    @autoreleasepool {
        g_application = [NSApplication sharedApplication];
        [g_application setActivationPolicy:NSApplicationActivationPolicyRegular];
        g_window = [[NSWindow alloc] initWithContentRect:NSMakeRect(200, 200, 320, 120)
                                               styleMask:NSWindowStyleMaskTitled | NSWindowStyleMaskClosable
                                                 backing:NSBackingStoreBuffered
                                                   defer:NO];
        g_window.title = @"Marquee contract";
        [g_window makeKeyAndOrderFront:nil];
        [g_application run];
    }
    return 0;
}
