#include "tests/support/ChildProcess.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace std::chrono_literals;
using mq::test::ChildProcess;
using mq::test::TempRuntimeDir;

TEST(ChildProcess, CapturesBothStreamsAndExitStatus)
{
    ChildProcess child({ "/bin/sh", "-c", "echo out-line; echo err-line >&2; printf partial; exit 3" });
    auto status = child.waitForExit(5s);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 3);
    ASSERT_TRUE(child.waitForOutputEnd(5s));
    EXPECT_EQ(child.lines(ChildProcess::Stream::standardOutput), (std::vector<std::string> { "out-line", "partial" }));
    EXPECT_EQ(child.lines(ChildProcess::Stream::standardError), (std::vector<std::string> { "err-line" }));
    EXPECT_EQ(child.lines().size(), 3u);
}

TEST(ChildProcess, PassesExtraEnvironmentOverridingInherited)
{
    ::setenv("MQ_CHILD_TEST_INHERITED", "parent", 1);
    ChildProcess child({ "/bin/sh", "-c", "echo \"v=$MQ_CHILD_TEST_VALUE i=$MQ_CHILD_TEST_INHERITED\"" },
        { { "MQ_CHILD_TEST_VALUE", "42" }, { "MQ_CHILD_TEST_INHERITED", "child" } });
    EXPECT_TRUE(child.waitForLine("v=42 i=child", 5s));
}

TEST(ChildProcess, WaitForLineTimesOutAndEndsEarlyWhenStreamsClose)
{
    ChildProcess running({ "/bin/sh", "-c", "echo ready; exec sleep 30" });
    ASSERT_TRUE(running.waitForLine("ready", 5s));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(running.waitForLine("never", 100ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);

    ChildProcess finished({ "/bin/sh", "-c", "echo done" });
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(finished.waitForLine("never", 10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST(ChildProcess, SignalsStopContinueAndTerminate)
{
    ChildProcess child({ "/bin/sh", "-c", "echo ready; exec sleep 30" });
    ASSERT_TRUE(child.waitForLine("ready", 5s));
    EXPECT_TRUE(child.sendSignal(SIGSTOP));
    EXPECT_FALSE(child.waitForExit(50ms));
    EXPECT_TRUE(child.sendSignal(SIGCONT));
    EXPECT_TRUE(child.sendSignal(SIGTERM));
    auto status = child.waitForExit(5s);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFSIGNALED(*status));
    EXPECT_EQ(WTERMSIG(*status), SIGTERM);
    EXPECT_EQ(child.waitForExit(0ms), status);
    EXPECT_FALSE(child.sendSignal(SIGTERM));
}

TEST(ChildProcess, DestructorKillsAStoppedChild)
{
    pid_t pid;
    {
        ChildProcess child({ "/bin/sh", "-c", "echo ready; exec sleep 30" });
        ASSERT_TRUE(child.waitForLine("ready", 5s));
        child.sendSignal(SIGSTOP);
        pid = child.pid();
    }
    EXPECT_NE(::kill(pid, 0), 0);
}

TEST(ChildProcess, ThrowsWhenTheProgramDoesNotExist)
{
    EXPECT_THROW(ChildProcess({ "/nonexistent/program" }), std::runtime_error);
}

TEST(TempRuntimeDir, IsPrivateAndRemovedWithItsContents)
{
    std::string path;
    {
        TempRuntimeDir dir;
        path = dir.path();
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        EXPECT_LT(dir.file("logicsim.sock").size(), 100u);
        std::filesystem::create_directory(dir.file("nested"));
        FILE* f = std::fopen(dir.file("nested/x").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}
