// A scripted desktop with Logic Pro running (or not), for the Logic access tests.
#pragma once

#include "ax/SystemWideElement.h"
#include "platform/Log.h"
#include "tests/support/ScriptedPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

namespace mq::logic::testing {

inline constexpr platform::pid_type kLogicPid = 500;

/// Members are public so that table rows can arrange the scene.
class LogicFixture : public ::testing::Test {
public:
    void TearDown() override { ax::SystemWideElement::releaseShared(scripted.accessibility); }

    /// Logic is running under `bundleIdentifier` with no windows yet.
    platform::AXElementRef startLogic(const std::string& bundleIdentifier = "com.apple.logic10", platform::pid_type pid = kLogicPid)
    {
        scripted.workspace.addRunningApplication(platform::RunningApplication { bundleIdentifier, pid, std::string("Logic Pro") });
        logicRef = scripted.accessibility.addApplication(pid);
        scripted.accessibility.setAttribute(logicRef, "AXWindows", platform::CFArray {});
        return logicRef;
    }

    /// The level of the one line with exactly `message` on "helper.service"; nothing
    /// when there is no such line.
    std::optional<log::Level> levelOf(const std::string& message) const
    {
        std::vector<log::CapturedLine> lines = capture.lines();
        auto found = std::find_if(lines.begin(), lines.end(),
            [&](const log::CapturedLine& line) { return line.category == "helper.service" && line.message == message; });
        if (found == lines.end())
            return std::nullopt;
        return found->level;
    }

    std::size_t serviceLineCount() const
    {
        std::vector<log::CapturedLine> lines = capture.lines();
        return static_cast<std::size_t>(
            std::count_if(lines.begin(), lines.end(), [](const log::CapturedLine& line) { return line.category == "helper.service"; }));
    }

    log::LogCapture capture;
    test::ScriptedPlatform scripted;
    platform::Platform& platform { scripted.platform };
    platform::AXElementRef logicRef;
};

} // namespace mq::logic::testing
