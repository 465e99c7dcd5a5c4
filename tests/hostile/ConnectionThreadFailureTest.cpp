// When the system has no thread to give (the process or user limit reached, the
// address space used up), the connection that needed one used to end the whole
// helper with an uncaught exception. That connection is now refused and logged,
// and every other client goes on being served.
#include "protocol/Frame.h"
#include "tests/hostile/InProcessHelper.h"
#include "tests/support/Eventually.h"
#include "tests/support/RawConnection.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace mq {
namespace {

using namespace std::chrono_literals;
using test::RawConnection;

std::size_t threadsOfThisProcess()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Threads:", 0) == 0)
            return std::stoul(line.substr(8));
    return 0;
}

bool served(RawConnection& connection)
{
    auto frame = ipc::encodeFrame(ipc::Frame { ipc::FrameKind::request, 1, std::string(protocol::permissionsStatusWithReply::selector), {} });
    return connection.sendAll(frame, 5s) && !connection.receiveSome(64, 5s).empty();
}

// What the child reports through its exit status.
enum Outcome : int {
    survivedAndRefused = 0,
    listenerDidNotStart = 10,
    limitNotSet = 11,
    refusedConnectionLeftOpen = 12,
    refusalNotLogged = 13,
    notServedAfterwards = 14,
    earlierClientDropped = 15,
};

// The listener runs in a child process under a user of its own, whose limit on
// threads (RLIMIT_NPROC counts a user's threads; root is exempt from it) is set
// to exactly what it has, so that the next connection's thread cannot start.
int runWithNoThreadsToSpare()
{
    try {
        test::InProcessHelper helper;
        RawConnection earlier(helper.socketPath());
        if (!served(earlier))
            return listenerDidNotStart;
        rlimit previous {};
        getrlimit(RLIMIT_NPROC, &previous);
        rlimit none = previous;
        none.rlim_cur = threadsOfThisProcess();
        if (setrlimit(RLIMIT_NPROC, &none) != 0)
            return limitNotSet;

        RawConnection refused(helper.socketPath());
        bool closed = refused.closedByPeer(5s);
        setrlimit(RLIMIT_NPROC, &previous);
        if (!closed)
            return refusedConnectionLeftOpen;
        // The refusal is logged on the I/O thread, which may close the socket first.
        if (!test::eventually([&] { return helper.capture.contains("cannot start its thread", "helper.xpc"); }, 5s))
            return refusalNotLogged;
        RawConnection later(helper.socketPath());
        if (!served(later))
            return notServedAfterwards;
        if (!served(earlier))
            return earlierClientDropped;
        return survivedAndRefused;
    } catch (...) {
        return listenerDidNotStart;
    }
}

TEST(ConnectionThreadFailure, AConnectionWithoutAThreadIsRefusedAndTheHelperGoesOn)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run the listener as a user with a thread limit of its own";
    // A user id nobody else uses on this machine, different for tests run in parallel.
    uid_t user = 61000 + static_cast<uid_t>(getpid() % 2000);
    pid_t child = fork();
    if (child == 0) {
        if (setgid(user) != 0 || setuid(user) != 0)
            _exit(100);
        _exit(runWithNoThreadsToSpare());
    }
    ASSERT_GT(child, 0);
    int status = 0;
    // Bounded: the child's own waits are bounded; a hang there still ends here.
    for (int waited = 0; waited < 600 && waitpid(child, &status, WNOHANG) == 0; ++waited)
        usleep(50'000);
    if (waitpid(child, &status, WNOHANG) == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the child did not finish within 30 s";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "the listener's process was killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), survivedAndRefused);
}

} // namespace
} // namespace mq
