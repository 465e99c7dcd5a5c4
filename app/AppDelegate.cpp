#include "app/AppDelegate.h"

#include "protocol/ServiceEndpoint.h"
#include "logic/StoredActionInterpreter.h"

#include <unistd.h>

#include <cstdlib>

namespace mq {

AppDelegate::AppDelegate(RunLoop& mainLoop, platform::Platform& platform)
    : m_mainLoop(mainLoop)
    , m_platform(platform)
{
}

AppDelegate::~AppDelegate() = default;

bool AppDelegate::applicationDidFinishLaunching()
{
    m_log.info("MarqueeHelper launched (pid {})", getpid());
    // The helper still serves without its interpreter (housekeeping, the scrub
    // reader), but every request that drives Logic will fail: say so now.
    std::string interpreter = logic::storedActionInterpreter();
    if (std::string why = logic::interpreterUnusable(interpreter); !why.empty())
        m_log.error("Stored action interpreter {} cannot be run ({}); requests that drive Logic will fail", interpreter, why);

    auto socketPath = ipc::serviceSocketPath();
    if (!socketPath) {
        m_log.error("no place for the service socket: {}", socketPath.error());
        return false;
    }
    ServiceEnvironment environment { m_mainLoop, m_userInitiatedQueue, m_platform, [this] { terminate(0, "relaunch requested"); } };
    auto listener = std::make_unique<MQHelperXPCListener>(*socketPath, std::move(environment));
    if (!listener->start())
        return false;
    m_xpcListener = std::move(listener);

    m_log.info("MarqueeHelper headless; permission gate is driven in-plugin");
    return true;
}

void AppDelegate::terminate(int status, const char* why)
{
    m_log.notice("MarqueeHelper exiting ({}), status {}", why, status);
    if (m_xpcListener) {
        m_xpcListener->flushReplies(std::chrono::milliseconds(500));
        m_xpcListener->invalidate();
    }
    log::flush();
    // Requests still running on connection threads end with the process; their
    // clients see the connection close.
    std::_Exit(status);
}

} // namespace mq
