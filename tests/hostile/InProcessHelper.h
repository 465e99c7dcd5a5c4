// The helper's listener and service inside the test process, for attacks whose
// limits a test shortens (an idle-frame time-out of a fraction of a second) or
// whose conditions only a process of the test's own can set up.
#pragma once

#include "app/MQHelperService.h"
#include "app/MQHelperXPCListener.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "tests/support/ScriptedPlatform.h"
#include "tests/support/TempRuntimeDir.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace mq::test {

class InProcessHelper {
public:
    explicit InProcessHelper(ipc::ConnectionLimits limits = {})
    {
        service = std::make_shared<MQHelperService>(ServiceEnvironment { mainLoop, userInitiated, scripted.platform, [] { } });
        listener = std::make_unique<MQHelperXPCListener>(socketPath(), service, limits);
        if (!listener->start())
            throw std::runtime_error("the in-process listener did not start");
        mainThread = std::thread([this] { mainLoop.run(); });
    }
    ~InProcessHelper()
    {
        listener->invalidate();
        mainLoop.stop();
        mainThread.join();
    }
    InProcessHelper(const InProcessHelper&) = delete;
    InProcessHelper& operator=(const InProcessHelper&) = delete;

    std::string socketPath() const { return runtimeDir.file("com.quillmoor.marquee.helper"); }

    log::LogCapture capture;
    TempRuntimeDir runtimeDir;
    /// A desktop without Logic: the attacks go at the request channel.
    ScriptedPlatform scripted;
    RunLoop mainLoop;
    ConcurrentDispatchQueue userInitiated { "test.user-initiated", 4 };
    std::shared_ptr<MQHelperService> service;
    std::unique_ptr<MQHelperXPCListener> listener;
    std::thread mainThread;
};

} // namespace mq::test
