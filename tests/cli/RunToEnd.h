// Runs a program to its end and keeps its exit status and standard output, for
// the tests of the marquee tool as a user runs it.
#pragma once

#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <string>
#include <vector>

namespace mq::test {

struct Finished {
    int status { -1 }; // the exit status, -1 when it did not exit normally
    std::vector<std::string> lines; // standard output
};

inline Finished runToEnd(std::vector<std::string> argv, ChildProcess::Environment extraEnvironment = {})
{
    using namespace std::chrono_literals;
    ChildProcess process(std::move(argv), std::move(extraEnvironment));
    auto status = process.waitForExit(20s);
    EXPECT_TRUE(status.has_value());
    EXPECT_TRUE(process.waitForOutputEnd(5s));
    return { status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1, process.lines(ChildProcess::Stream::standardOutput) };
}

} // namespace mq::test
