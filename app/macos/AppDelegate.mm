#import "app/macos/AppDelegate.h"

#import "app/macos/MQHelperXPCListener.h"

#include "app/MQHelperService.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/macos/MacPlatform.h"

#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace {
const mq::log::Logger& helperLog()
{
    static const mq::log::Logger log("helper");
    return log;
}
} // namespace

@implementation AppDelegate {
    std::unique_ptr<mq::platform::macos::MacPlatform> _desktop;
    std::unique_ptr<mq::platform::Platform> _platform;
    std::unique_ptr<mq::RunLoop> _mainLoop;
    std::unique_ptr<mq::ConcurrentDispatchQueue> _userInitiatedQueue;
    MQHelperXPCListener* _xpcListener;
}

- (void)applicationDidFinishLaunching:(NSNotification*)notification
{
    (void)notification;
    helperLog().info("MarqueeHelper launched (pid {})", getpid());

    _desktop = std::make_unique<mq::platform::macos::MacPlatform>();
    _platform = std::make_unique<mq::platform::Platform>(_desktop->platform());
    _mainLoop = std::make_unique<mq::RunLoop>();
    // The system's global queue: the bound is the system's own.
    _userInitiatedQueue = std::make_unique<mq::ConcurrentDispatchQueue>("com.apple.root.user-initiated-qos", 64);

    mq::ServiceEnvironment environment { *_mainLoop, *_userInitiatedQueue, *_platform, [] {
                                            helperLog().notice("MarqueeHelper exiting (relaunch requested), status 0");
                                            mq::log::flush();
                                            std::_Exit(0);
                                        } };
    MQHelperXPCListener* listener = [[MQHelperXPCListener alloc] initWithEnvironment:std::move(environment)];
    [listener start];
    _xpcListener = listener;

    helperLog().info("MarqueeHelper headless; permission gate is driven in-plugin");
}

- (BOOL)applicationShouldTerminateAfterLastWindowClosed:(NSApplication*)sender
{
    (void)sender;
    return NO;
}

@end
