// A logicsim process on a private runtime directory, a backend connected to it,
// and a control channel for changing and reading the simulated world.
#pragma once

#include "platform/linux/LogicSimPlatform.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <memory>
#include <vector>

namespace mq::test {

using nlohmann::json;
using namespace std::chrono_literals;

class LogicSimTest : public ::testing::Test {
protected:
    /// Where the default project window lists its control bar: after the toolbar,
    /// inspector, track headers, tracks area and library, as Logic lists it.
    static constexpr int kControlBar = 5;

    void SetUp() override;
    void TearDown() override;

    /// Starts logicsim (again) on the same socket, with the default scenario.
    void startLogicSim();
    /// Sends a control command; fails the test when logicsim reports an error.
    json ctl(const std::string& command, const json& args = json::object());
    /// Sends a control command and returns the reply, error or not.
    json ctlRaw(const std::string& command, const json& args = json::object());
    /// The entries of `type` in logicsim's event log, once the input posted on
    /// the backend's connection has been handled.
    std::vector<json> events(const std::string& type);
    /// Polls logicsim's event log (every 10 ms, up to 2 s) for an entry of `type`.
    bool waitForEvent(const std::string& type);
    /// Polls (every 10 ms, up to 2 s) until no window logicsim's application
    /// asked for is still waiting out its opening delay.
    bool waitUntilWindowsOpened();
    std::string socketPath() const { return m_dir.file("logicsim.sock"); }

    /// Logic's pid in the simulated world.
    platform::pid_type logicPid();
    /// The element reached from Logic's application element by child indexes (AXChildren).
    platform::AXElementRef elementByKeyPath(const std::vector<int>& childIndexes);

    platform::AXErrorCode read(const platform::AXElementRef& element, const std::string& attribute, platform::CFValue& value)
    {
        return ax().copyAttributeValue(element, attribute, value);
    }
    std::optional<std::string> readString(const platform::AXElementRef& element, const std::string& attribute);

    platform::Accessibility& ax() { return *m_backend; }

    TempRuntimeDir m_dir;
    std::unique_ptr<ChildProcess> m_sim;
    std::unique_ptr<platform::LogicSimPlatform> m_backend;
};

} // namespace mq::test
