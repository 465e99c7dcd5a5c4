// AppDelegate: the helper's start-up and shutdown.
#pragma once

#include "app/MQHelperXPCListener.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"

#include <memory>

namespace mq {

class AppDelegate {
public:
    AppDelegate(RunLoop& mainLoop, platform::Platform& platform);
    ~AppDelegate();

    /// Start-up, on the main thread once the run loop runs: creates and starts the
    /// listener. False when the service socket could not be set up.
    bool applicationDidFinishLaunching();

    /// The helper never ends because a window closed.
    bool applicationShouldTerminateAfterLastWindowClosed() const { return false; }

    /// Ends the process now with `status`, after the replies already sent are
    /// written and the log is flushed. Any thread.
    [[noreturn]] void terminate(int status, const char* why);

private:
    RunLoop& m_mainLoop;
    platform::Platform& m_platform;
    log::Logger m_log { "helper" };
    /// The global user-initiated queue: background stored actions and other
    /// fire-and-forget work. It grows while jobs block (a stalled action must not
    /// hold up another request's), up to this bound.
    static constexpr unsigned kUserInitiatedThreadLimit = 64;
    ConcurrentDispatchQueue m_userInitiatedQueue { "com.apple.root.user-initiated-qos", kUserInitiatedThreadLimit };
    std::unique_ptr<MQHelperXPCListener> m_xpcListener;
};

} // namespace mq
