// Bounce step 5 at its 1800 s deadline: the helper's listener and service run in
// this process, against a real logicsim, with a clock that runs 1200 times
// faster than the steady clock, so that 30 minutes pass in about 1.5 s.
#include "app/MQHelperService.h"
#include "app/MQHelperXPCListener.h"
#include "client/HelperConnection.h"
#include "platform/Log.h"
#include "platform/linux/LogicSimPlatform.h"
#include "tests/harness/LogicSimProcess.h"
#include "tests/support/Eventually.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr int kClockSpeedUp = 1200;

class BounceDeadline : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* previous = std::getenv("XDG_RUNTIME_DIR"))
            m_previousRuntimeDir = previous;
        // The stored actions' interpreter finds logicsim through it.
        ::setenv("XDG_RUNTIME_DIR", runtimeDir.path().c_str(), 1);
        logicSim = std::make_unique<test::LogicSimProcess>(runtimeDir);
        desktop = std::make_unique<platform::LogicSimPlatform>(platform::LogicSimOptions { logicSim->socketPath() });
        platform = std::make_unique<platform::Platform>(desktop->platform());
        service = std::make_shared<MQHelperService>(ServiceEnvironment { mainLoop, userInitiated, platform.get(), [] { } });
        Clock::time_point start = Clock::now();
        service->setBounceClock([start] { return start + (Clock::now() - start) * kClockSpeedUp; });
        listener = std::make_unique<MQHelperXPCListener>(runtimeDir.file("com.quillmoor.marquee.helper"), service);
        ASSERT_TRUE(listener->start());
        mainThread = std::thread([this] { mainLoop.run(); });
        auto connected = client::HelperConnection::connect(runtimeDir.file("com.quillmoor.marquee.helper"));
        ASSERT_TRUE(connected.ok());
        connection = std::move(connected.value());
    }
    void TearDown() override
    {
        connection.reset();
        if (listener)
            listener->invalidate();
        mainLoop.stop();
        if (mainThread.joinable())
            mainThread.join();
        if (m_previousRuntimeDir)
            ::setenv("XDG_RUNTIME_DIR", m_previousRuntimeDir->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }

    log::LogCapture capture;
    test::TempRuntimeDir runtimeDir;
    std::unique_ptr<test::LogicSimProcess> logicSim;
    std::unique_ptr<platform::LogicSimPlatform> desktop;
    std::unique_ptr<platform::Platform> platform;
    RunLoop mainLoop;
    ConcurrentDispatchQueue userInitiated { "test.user-initiated", 4 };
    std::shared_ptr<MQHelperService> service;
    std::unique_ptr<MQHelperXPCListener> listener;
    std::thread mainThread;
    std::unique_ptr<client::HelperConnection> connection;

private:
    std::optional<std::string> m_previousRuntimeDir;
};

TEST_F(BounceDeadline, APanelOpenPastThirtyMinutesRepliesErrorThirtyOneWithTheLastName)
{
    // The user types a name and then leaves the panel open.
    logicSim->ctl("set-export", { { "directory", runtimeDir.path() }, { "user", { { "name", "Left Open" }, { "press", "none" } } } });
    auto opened = connection->bounceOpenExportDialogWithPacingSeconds({ 0.0 }, 15s);
    ASSERT_TRUE(opened.ok());
    ASSERT_TRUE(std::get<0>(opened.value()));
    ASSERT_TRUE(test::eventually([&] { return capture.contains("bounce step 4: open export dialog"); }, 2s));

    auto started = Clock::now();
    auto waited = connection->bounceAwaitExportDialogsClosedWithReply({}, 60s);
    auto elapsed = Clock::now() - started;
    ASSERT_TRUE(waited.ok());
    auto [name, error] = waited.value();
    EXPECT_EQ(name, "Left Open");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 31);
    EXPECT_EQ(error->localizedDescription, "Timed out waiting for Logic's export dialog to close.");
    EXPECT_TRUE(capture.contains("bounce failed (31): Timed out waiting for Logic's export dialog to close.", "helper.service"));
    EXPECT_GE(elapsed, 1s) << "1800 s at this speed take 1.5 s";
    EXPECT_LT(elapsed, 20s);
    EXPECT_FALSE(logicSim->state()["applications"].dump().find("save-panel") == std::string::npos) << "the panel is still open";
}

} // namespace
} // namespace mq
