// The helper's listener and service running in the test's own process against a
// real logicsim, so that a test can put its own clock or a platform decorator
// under the service and still drive it through the client library.
#pragma once

#include "app/MQHelperService.h"
#include "app/MQHelperXPCListener.h"
#include "marquee/HelperConnection.h"
#include "platform/Dispatch.h"
#include "platform/linux/LogicSimPlatform.h"
#include "tests/harness/LogicSimProcess.h"
#include "tests/support/TempRuntimeDir.h"

#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace mq::test {

class InProcessService {
public:
    /// Makes the platform the service drives from the backend's own.
    using PlatformDecorator = std::function<platform::Platform(platform::Platform)>;

    /// Starts logicsim on a private runtime directory (which becomes this
    /// process's XDG_RUNTIME_DIR, so that stored actions reach it), a backend for
    /// it, the service over the platform `decorate` makes (the backend's without
    /// one), its listener and main loop, and a connection. Fails the calling test
    /// when the connection cannot be made.
    explicit InProcessService(PlatformDecorator decorate = {});
    ~InProcessService();
    InProcessService(const InProcessService&) = delete;
    InProcessService& operator=(const InProcessService&) = delete;

    const TempRuntimeDir& runtimeDir() const { return m_runtimeDir; }
    LogicSimProcess& logicSim() { return *m_logicSim; }
    MQHelperService& service() { return *m_service; }
    client::HelperConnection& connection() { return *m_connection; }

private:
    std::optional<std::string> m_previousRuntimeDir;
    TempRuntimeDir m_runtimeDir;
    std::unique_ptr<LogicSimProcess> m_logicSim;
    std::unique_ptr<platform::LogicSimPlatform> m_backend;
    std::unique_ptr<platform::Platform> m_platform;
    RunLoop m_mainLoop;
    ConcurrentDispatchQueue m_userInitiated { "test.user-initiated", 4 };
    std::shared_ptr<MQHelperService> m_service;
    std::unique_ptr<MQHelperXPCListener> m_listener;
    std::thread m_mainThread;
    std::unique_ptr<client::HelperConnection> m_connection;
};

} // namespace mq::test
