// The helper as a real process: every request answered once from another process,
// exit for a relaunch, SIGTERM, a second helper, and peers of another user.
#include "tests/harness/HelperHarness.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace mq {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;

// Default arguments that every request accepts on the wire.
template<typename T>
T sampleArgument()
{
    if constexpr (std::is_same_v<T, URL>)
        return URL::fileURLWithPath("/tmp/sample.mov");
    else if constexpr (std::is_same_v<T, std::string>)
        return "/tmp/sample.shm";
    else
        return T {};
}

template<typename Tuple>
Tuple sampleArguments()
{
    return std::apply([](auto... slots) { return Tuple { sampleArgument<decltype(slots)>()... }; }, Tuple {});
}

TEST(HelperProcess, EveryRequestGetsExactlyOneReplyOfItsShape)
{
    test::HelperHarness harness;
    auto connection = harness.connect();
    ASSERT_TRUE(connection);
    std::atomic<int> replies { 0 };
    std::atomic<int> failures { 0 };
    int sent = 0;
#define MQ_SEND_REQUEST(M, S, Sig, RSig)                                                                          \
    if (protocol::M::name != "recheckPermissionsBouncingWithReply") {                                            \
        ++sent;                                                                                                   \
        connection->send<protocol::M>(sampleArguments<protocol::M::Arguments>(), [&](auto result) {              \
            ++replies;                                                                                            \
            if (!result.hasValue()) {                                                                                   \
                ++failures;                                                                                       \
                ADD_FAILURE() << S << ": " << result.error().message;                                            \
            }                                                                                                     \
        });                                                                                                       \
    }
    MQ_HELPER_XPC_PROTOCOL(MQ_SEND_REQUEST)
#undef MQ_SEND_REQUEST
    EXPECT_EQ(sent, 26);
    test::eventually([&] { return replies.load() >= sent; }, std::chrono::seconds(20));
    EXPECT_EQ(replies.load(), sent);
    EXPECT_EQ(failures.load(), 0);
    // A late second reply would show up here: give it a moment to arrive.
    auto last = connection->permissionsStatusWithReply({}, 5s);
    EXPECT_TRUE(last.hasValue());
    EXPECT_EQ(connection->unmatchedReplyCount(), 0u);
    EXPECT_EQ(harness.countLogLines(" fault: "), 0u);
}

TEST(HelperProcess, TwoClientsShareOneService)
{
    test::HelperHarness harness;
    auto first = harness.connect();
    auto second = harness.connect();
    auto path = harness.runtimeDir().file("shared.scrub");
    // Without Logic the display is not found: the start answers false but the
    // target is registered, and the other client's stop finds it.
    ASSERT_TRUE(first->startTransportScrubObservingWithFrameRate({ 25.0, false, path }, 5s).hasValue());
    ASSERT_TRUE(second->stopTransportScrubObservingForShmPath({ path }, 5s).hasValue());
    EXPECT_TRUE(harness.helper().waitForLine("scrub: stopped (no targets remain)", 2s));
    EXPECT_EQ(harness.countLogLines("scrub: stop for unregistered path; ignored"), 0u);
}

TEST(HelperProcess, RelaunchRequestRepliesThenExitsWithStatusZero)
{
    test::HelperHarness harness;
    auto connection = harness.connect();
    auto replied = std::chrono::steady_clock::now();
    auto result = connection->recheckPermissionsBouncingWithReply({}, 5s);
    ASSERT_TRUE(result.hasValue()) << result.error().message;
    auto status = harness.helper().waitForExit(5s);
    auto exited = std::chrono::steady_clock::now();
    ASSERT_TRUE(status.has_value());
    ASSERT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_GE(exited - replied, 90ms);
    EXPECT_TRUE(harness.helper().waitForOutputEnd(2s));
    EXPECT_TRUE(harness.helper().hasLine("MarqueeHelper exiting (relaunch requested), status 0"));
    // The client can start a fresh helper afterwards: the socket is free again.
    test::ChildProcess next({ test::helperExecutablePath() }, harness.environment());
    EXPECT_TRUE(next.waitForLine("XPC listener resumed on com.quillmoor.marquee.helper", 5s));
}

TEST(HelperProcess, SigtermEndsCleanly)
{
    test::HelperHarness harness;
    auto connection = harness.connect();
    ASSERT_TRUE(connection->permissionsStatusWithReply({}, 5s).hasValue());
    ASSERT_TRUE(harness.helper().sendSignal(SIGTERM));
    auto status = harness.helper().waitForExit(5s);
    ASSERT_TRUE(status.has_value());
    ASSERT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    struct stat st {};
    EXPECT_NE(lstat(harness.socketPath().c_str(), &st), 0) << "the socket file was left behind";
    EXPECT_TRUE(connection->waitUntilClosed(2s));
}

TEST(HelperProcess, StartupLogsItsLines)
{
    test::HelperHarness harness;
    auto connection = harness.connect();
    ASSERT_TRUE(connection->permissionsStatusWithReply({}, 5s).hasValue());
    connection.reset();
    EXPECT_TRUE(harness.helper().waitForLine("client connection invalidated", 5s));
    for (const char* line : { "[helper] info: MarqueeHelper launched (pid ",
             "[helper.xpc] info: XPC listener resumed on com.quillmoor.marquee.helper",
             "[helper] info: MarqueeHelper headless; permission gate is driven in-plugin",
             "[helper.xpc] info: accepted new client connection (pid " })
        EXPECT_TRUE(harness.helper().hasLine(line)) << line;
}

TEST(HelperProcess, SecondHelperDoesNotTakeOverTheSocket)
{
    test::HelperHarness harness;
    test::ChildProcess second({ test::helperExecutablePath() }, harness.environment());
    auto status = second.waitForExit(5s);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1);
    EXPECT_TRUE(second.waitForOutputEnd(2s));
    EXPECT_TRUE(second.hasLine("another helper already listens on"));
    auto connection = harness.connect();
    EXPECT_TRUE(connection->permissionsStatusWithReply({}, 5s).hasValue());
}

// Runs `body` in a child that has dropped to uid/gid 65534 and returns its exit code.
int runAsOtherUser(const std::function<int()>& body)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(100);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

TEST(HelperProcess, PeersOfAnotherUserAreRefused)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to start a peer of another user";
    test::HelperHarness harness;
    auto path = harness.socketPath();

    // The socket file itself is private: another user cannot even connect.
    auto connectAs = [&path]() -> int {
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
            return 10; // Refused by the file system.
        // Connected: the helper must close the connection without serving it.
        char byte;
        timeval tv { 2, 0 };
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
        return ::recv(fd, &byte, 1, 0) == 0 ? 20 : 30;
    };
    EXPECT_EQ(runAsOtherUser(connectAs), 10);

    // Even with the file opened up, the peer check refuses the other user.
    ASSERT_EQ(chmod(harness.runtimeDir().path().c_str(), 0711), 0);
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    EXPECT_EQ(runAsOtherUser(connectAs), 20);
    EXPECT_TRUE(harness.helper().waitForLine("is not this session's user", 2s));

    auto connection = harness.connect();
    EXPECT_TRUE(connection->permissionsStatusWithReply({}, 5s).hasValue());
}

TEST(HelperProcess, SocketActivationStartsTheHelperOnFirstConnection)
{
    if (access("/usr/bin/systemd-socket-activate", X_OK) != 0)
        GTEST_SKIP() << "systemd-socket-activate is not installed";
    test::TempRuntimeDir runtime;
    auto path = runtime.file("com.quillmoor.marquee.helper");
    // systemd-socket-activate listens like the user .socket unit does and starts
    // the helper with the listening socket when the first client connects.
    test::ChildProcess activator({ "/usr/bin/systemd-socket-activate", "-l", path, test::helperExecutablePath() },
        { { "XDG_RUNTIME_DIR", runtime.path() } });
    ASSERT_TRUE(activator.waitForLine("Listening on", 5s));
    auto connection = client::HelperConnection::connect(path);
    ASSERT_TRUE(connection.hasValue()) << connection.error().message;
    auto reply = connection.value()->permissionsStatusWithReply({}, 10s);
    EXPECT_TRUE(reply.hasValue());
    EXPECT_TRUE(activator.waitForLine("taking the listening socket passed by systemd", 5s));
}

TEST(HelperProcess, ToolSaysPlainlyWhenNoHelperRuns)
{
    test::TempRuntimeDir empty;
    test::ChildProcess tool({ test::marqueeExecutablePath(), "permissions" }, { { "XDG_RUNTIME_DIR", empty.path() } });
    auto status = tool.waitForExit(5s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(WEXITSTATUS(*status), 3);
    EXPECT_TRUE(tool.waitForOutputEnd(2s));
    EXPECT_TRUE(tool.hasLine("the Marquee helper is not running"));
}

TEST(HelperProcess, ToolPrintsRepliesAndFailureStatus)
{
    test::HelperHarness harness;
    struct Case {
        std::vector<std::string> arguments;
        int status;
        const char* line;
    };
    const Case cases[] = {
        { { "colors-avoid", "1", "2", "3", "4" }, 0, "done" },
        { { "permissions" }, 0, "allGranted: false" },
        { { "goto", "60", "--fps", "25", "--json" }, 1, "\"viewOffsetSeconds\":\"NaN\"" },
        { { "goto", "sixty", "--fps", "25" }, 2, "'sixty' is neither a finite number of seconds nor hh:mm:ss:ff" },
        { { "action", "4294967296" }, 2, "is not a code (a whole number from 0 to 4294967295)" },
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv { test::marqueeExecutablePath() };
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        test::ChildProcess tool(argv, harness.environment());
        auto status = tool.waitForExit(10s);
        ASSERT_TRUE(status.has_value()) << c.arguments[0];
        EXPECT_EQ(WEXITSTATUS(*status), c.status) << c.arguments[0];
        EXPECT_TRUE(tool.waitForOutputEnd(2s));
        EXPECT_TRUE(tool.hasLine(c.line)) << c.arguments[0] << " printed no line with " << c.line;
    }
}

} // namespace
} // namespace mq
