// A slow, hung, stopped or vanished logicsim: every call ends within its
// time-out with the platform's code, and the backend recovers when logicsim does.
#include "tests/sim/LogicSimFixture.h"

#include <csignal>
#include <future>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace mq::test {
namespace {

using namespace platform;
using Clock = std::chrono::steady_clock;

class Resilience : public LogicSimTest {
protected:
    // Times one read of AXRole on `element`.
    std::pair<AXErrorCode, std::chrono::milliseconds> timedRead(const AXElementRef& element, const std::string& attribute = "AXRole")
    {
        CFValue value;
        auto start = Clock::now();
        AXErrorCode code = read(element, attribute, value);
        return { code, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start) };
    }
};

TEST_F(Resilience, HungReplyEndsAtTheElementsMessagingTimeout)
{
    auto window = elementByKeyPath({ 0 });
    ctl("fault", { { "op", "ax.copyAttributeValue" }, { "attribute", "AXTitle" }, { "noReply", true } });
    ASSERT_EQ(ax().setMessagingTimeout(window, 0.3f), 0);
    auto [code, elapsed] = timedRead(window, "AXTitle");
    EXPECT_EQ(code, axerror::cannotComplete);
    EXPECT_GE(elapsed, 290ms);
    EXPECT_LT(elapsed, 1500ms);
    // Other attributes of the same element still answer.
    EXPECT_EQ(timedRead(window).first, 0);
}

TEST_F(Resilience, SystemWideTimeoutIsTheDefaultForEveryElement)
{
    auto window = elementByKeyPath({ 0 });
    auto bar = elementByKeyPath({ 0, kControlBar });
    ASSERT_EQ(ax().setMessagingTimeout(ax().createSystemWide(), 0.2f), 0);
    ASSERT_EQ(ax().setMessagingTimeout(window, 0.5f), 0);
    ctl("fault", { { "op", "ax.*" }, { "noReply", true } });
    auto [barCode, barElapsed] = timedRead(bar);
    auto [windowCode, windowElapsed] = timedRead(window);
    EXPECT_EQ(barCode, axerror::cannotComplete);
    EXPECT_EQ(windowCode, axerror::cannotComplete);
    EXPECT_GE(barElapsed, 190ms);
    EXPECT_GE(windowElapsed, 490ms);
    // The bar's read ended at the default, before the window's own time-out; how
    // long each took beyond its time-out is up to the machine.
    EXPECT_LT(barElapsed, windowElapsed);
    // 0 returns an element to the default.
    ASSERT_EQ(ax().setMessagingTimeout(window, 0), 0);
    auto [defaultCode, defaultElapsed] = timedRead(window);
    EXPECT_EQ(defaultCode, axerror::cannotComplete);
    EXPECT_LT(defaultElapsed, windowElapsed);
    EXPECT_EQ(ax().setMessagingTimeout(window, -1), axerror::illegalArgument);
}

TEST_F(Resilience, ASlowCallOnOneThreadDoesNotHoldUpOthers)
{
    auto window = elementByKeyPath({ 0 });
    ctl("fault", { { "op", "ax.copyAttributeValue" }, { "attribute", "AXTitle" }, { "delayMs", 600 }, { "count", 1 } });
    auto slow = std::async(std::launch::async, [&] { return timedRead(window, "AXTitle"); });
    ASSERT_TRUE(waitForEvent("fault")); // the slow call is now being held
    std::vector<std::future<std::pair<AXErrorCode, std::chrono::milliseconds>>> quick;
    for (int i = 0; i < 4; ++i)
        quick.push_back(std::async(std::launch::async, [&] { return timedRead(window); }));
    for (auto& f : quick)
        EXPECT_EQ(f.get().first, 0);
    EXPECT_EQ(slow.wait_for(0ms), std::future_status::timeout) << "the quick reads were answered only after the slow one";
    auto [code, elapsed] = slow.get();
    EXPECT_EQ(code, 0);
    EXPECT_GE(elapsed, 590ms);
}

TEST_F(Resilience, RepliesReachTheirOwnCallersUnderConcurrency)
{
    // Eight threads read different elements at once; every answer must be the
    // one for that thread's own request.
    const char* expected[] = { "Hours", "Minutes", "Seconds", "Frames" };
    std::vector<AXElementRef> sliders;
    for (int i = 0; i < 4; ++i)
        sliders.push_back(elementByKeyPath({ 0, kControlBar, 2, i }));
    ctl("fault", { { "op", "ax.copyAttributeValue" }, { "delayMs", 1 }, { "count", 50 } }); // shuffle the reply order
    std::vector<std::future<int>> workers;
    for (int t = 0; t < 8; ++t)
        workers.push_back(std::async(std::launch::async, [&, t] {
            int wrong = 0;
            for (int i = 0; i < 100; ++i) {
                int which = (t + i) % 4;
                if (readString(sliders[static_cast<size_t>(which)], "AXDescription") != expected[which])
                    ++wrong;
            }
            return wrong;
        }));
    for (auto& w : workers)
        EXPECT_EQ(w.get(), 0);
}

TEST_F(Resilience, InjectedErrorsAreReturnedAndCounted)
{
    auto window = elementByKeyPath({ 0 });
    ctl("fault", { { "op", "ax.performAction" }, { "action", "AXRaise" }, { "error", axerror::cannotComplete }, { "count", 2 } });
    EXPECT_EQ(ax().performAction(window, "AXRaise"), axerror::cannotComplete);
    EXPECT_EQ(ax().performAction(window, "AXRaise"), axerror::cannotComplete);
    EXPECT_EQ(ax().performAction(window, "AXRaise"), 0);
    ctl("fault", { { "op", "ax.copyAttributeValue" }, { "attribute", "AXDocument" }, { "error", axerror::failure } });
    CFValue value;
    EXPECT_EQ(read(window, "AXDocument", value), axerror::failure);
    EXPECT_EQ(read(window, "AXTitle", value), 0);
    ctl("clear-faults");
    EXPECT_EQ(read(window, "AXDocument", value), 0);
    EXPECT_EQ(ctlRaw("fault", { { "delayMs", -1 } }).count("error"), 1u);

    // A workspace fault empties the running applications, as a lost session would.
    ctl("fault", { { "op", "workspace.runningApplications" }, { "error", -1 }, { "count", 1 } });
    EXPECT_TRUE(m_backend->runningApplications().empty());
    EXPECT_FALSE(m_backend->runningApplications().empty());
}

TEST_F(Resilience, StoppedLogicSimTimesOutAndRecoversOnContinue)
{
    auto window = elementByKeyPath({ 0 });
    ASSERT_EQ(ax().setMessagingTimeout(ax().createSystemWide(), 0.3f), 0);
    ASSERT_TRUE(m_sim->sendSignal(SIGSTOP));
    auto [code, elapsed] = timedRead(window);
    EXPECT_EQ(code, axerror::cannotComplete);
    EXPECT_GE(elapsed, 290ms);
    EXPECT_LT(elapsed, 1500ms);
    ASSERT_TRUE(m_sim->sendSignal(SIGCONT));
    EXPECT_EQ(timedRead(window).first, 0);
}

TEST_F(Resilience, WriteIntoAFullSocketIsBoundedToo)
{
    // A stopped logicsim stops draining its socket: a request larger than the
    // socket buffers cannot be written, and the call still ends at its time-out.
    auto window = elementByKeyPath({ 0 });
    ASSERT_EQ(ax().setMessagingTimeout(ax().createSystemWide(), 0.3f), 0);
    ASSERT_TRUE(m_sim->sendSignal(SIGSTOP));
    auto start = Clock::now();
    EXPECT_EQ(ax().setAttributeValue(window, "AXPosition", CFValue(std::string(8 << 20, 'x'))), axerror::cannotComplete);
    auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 290ms);
    EXPECT_LT(elapsed, 1500ms);
    // The half-written line was abandoned with its connection; the next call starts afresh.
    ASSERT_TRUE(m_sim->sendSignal(SIGCONT));
    EXPECT_EQ(timedRead(window).first, 0);
}

TEST_F(Resilience, KilledLogicSimGivesInvalidElementsAndNoApplications)
{
    auto window = elementByKeyPath({ 0 });
    ASSERT_EQ(ax().setMessagingTimeout(ax().createSystemWide(), 2.0f), 0);
    // A call waiting when logicsim dies ends at once, not at its time-out.
    ctl("fault", { { "op", "ax.copyAttributeValue" }, { "attribute", "AXTitle" }, { "noReply", true } });
    auto waiting = std::async(std::launch::async, [&] { return timedRead(window, "AXTitle"); });
    ASSERT_TRUE(waitForEvent("fault"));
    ASSERT_TRUE(m_sim->sendSignal(SIGKILL));
    ASSERT_TRUE(m_sim->waitForExit(5s));
    auto [waitingCode, waitingElapsed] = waiting.get();
    EXPECT_EQ(waitingCode, axerror::invalidUIElement);
    EXPECT_LT(waitingElapsed, 1500ms);

    EXPECT_EQ(timedRead(window).first, axerror::invalidUIElement);
    EXPECT_TRUE(m_backend->runningApplications().empty());
    EXPECT_FALSE(m_backend->isProcessTrustedWithOptions(false));
    EXPECT_FALSE(m_backend->sessionDictionary());
    EXPECT_TRUE(m_backend->screens().empty());
    m_backend->postKeyboardEvent({ 0, true, u"x", 0 }); // goes nowhere, quietly
    auto script = m_backend->runAppleScript("tell application \"System Events\" to beep");
    EXPECT_TRUE(script.compiled);
    ASSERT_TRUE(script.errorInfo);
    EXPECT_EQ(*lookup(*script.errorInfo, "NSAppleScriptErrorNumber"), CFValue(std::int64_t(-600)));

    // logicsim back: the backend reconnects by itself.
    startLogicSim();
    EXPECT_FALSE(m_backend->runningApplications().empty());
    EXPECT_EQ(readString(elementByKeyPath({ 0 }), "AXRole"), "AXWindow");
    EXPECT_EQ(ctl("state")["accessibility"]["trust"].size(), 0u);
}

TEST_F(Resilience, MalformedLineClosesOnlyThatConnection)
{
    EXPECT_EQ(ctlRaw("ping").value("ok", false), true);
    // A control connection that sends garbage is dropped; logicsim goes on.
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath().c_str());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::string garbage = "this is not json\n";
    ASSERT_GT(::send(fd, garbage.data(), garbage.size(), MSG_NOSIGNAL), 0);
    char byte;
    pollfd p { fd, POLLIN, 0 };
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    EXPECT_EQ(::read(fd, &byte, 1), 0);
    ::close(fd);
    EXPECT_TRUE(m_sim->waitForLine("malformed line", 2s));
    EXPECT_EQ(readString(elementByKeyPath({ 0 }), "AXRole"), "AXWindow");
}

} // namespace
} // namespace mq::test
