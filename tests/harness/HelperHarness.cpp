#include "tests/harness/HelperHarness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace mq::test {

std::string helperExecutablePath()
{
    // Another build's helper, to measure an attack against it (before and after a
    // change) with the same tests.
    if (const char* other = std::getenv("MQ_TEST_HELPER_EXECUTABLE"); other && *other)
        return other;
    return MQ_HELPER_EXECUTABLE;
}

std::string marqueeExecutablePath()
{
    return MQ_MARQUEE_EXECUTABLE;
}

HelperHarness::HelperHarness(Desktop desktop, std::optional<std::string> scenarioFile, ChildProcess::Environment helperEnvironment)
{
    if (desktop == Desktop::logicSim)
        m_logicSim = std::make_unique<LogicSimProcess>(m_runtimeDir, std::move(scenarioFile));
    auto fullEnvironment = environment();
    fullEnvironment.insert(fullEnvironment.end(), helperEnvironment.begin(), helperEnvironment.end());
    m_helper = std::make_unique<ChildProcess>(std::vector<std::string> { helperExecutablePath() }, fullEnvironment);
    if (!m_helper->waitForLine("XPC listener resumed on com.quillmoor.marquee.helper", std::chrono::seconds(10)))
        throw std::runtime_error("marquee-helper did not start listening");
}

HelperHarness::~HelperHarness()
{
    // A reply dropped or sent twice is a bug wherever it happens.
    EXPECT_EQ(countLogLines("] fault: "), 0u) << "the helper logged a fault";
}

std::string HelperHarness::socketPath() const
{
    return m_runtimeDir.file("com.quillmoor.marquee.helper");
}

ChildProcess::Environment HelperHarness::environment() const
{
    return { { "XDG_RUNTIME_DIR", m_runtimeDir.path() }, { "XDG_CONFIG_HOME", m_runtimeDir.file("config") } };
}

std::unique_ptr<client::HelperConnection> HelperHarness::connect()
{
    auto connection = client::HelperConnection::connect(socketPath());
    if (!connection) {
        ADD_FAILURE() << "cannot connect to the helper: " << connection.error().message;
        return nullptr;
    }
    return std::move(connection.value());
}

std::size_t HelperHarness::countLogLines(std::string_view text) const
{
    std::size_t count = 0;
    for (const auto& line : m_helper->lines(ChildProcess::Stream::standardError))
        if (line.find(text) != std::string::npos)
            ++count;
    return count;
}

std::string HelperHarness::writeLogFile() const
{
    std::string path = m_runtimeDir.file("helper.log");
    std::ofstream file(path, std::ios::trunc);
    for (const auto& line : m_helper->lines(ChildProcess::Stream::standardError))
        file << line << '\n';
    return path;
}

} // namespace mq::test
