#include "tests/harness/InProcessService.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace mq::test {

InProcessService::InProcessService(PlatformDecorator decorate)
{
    if (const char* previous = std::getenv("XDG_RUNTIME_DIR"))
        m_previousRuntimeDir = previous;
    ::setenv("XDG_RUNTIME_DIR", m_runtimeDir.path().c_str(), 1);
    m_logicSim = std::make_unique<LogicSimProcess>(m_runtimeDir);
    m_backend = std::make_unique<platform::LogicSimPlatform>(platform::LogicSimOptions { m_logicSim->socketPath() });
    platform::Platform own = m_backend->platform();
    m_platform = std::make_unique<platform::Platform>(decorate ? decorate(own) : own);
    m_service = std::make_shared<MQHelperService>(ServiceEnvironment { m_mainLoop, m_userInitiated, *m_platform, [] { } });
    m_listener = std::make_unique<MQHelperXPCListener>(m_runtimeDir.file("com.quillmoor.marquee.helper"), m_service);
    EXPECT_TRUE(m_listener->start());
    m_mainThread = std::thread([this] { m_mainLoop.run(); });
    auto connected = client::HelperConnection::connect(m_runtimeDir.file("com.quillmoor.marquee.helper"));
    EXPECT_TRUE(connected.hasValue());
    if (connected.hasValue())
        m_connection = std::move(connected.value());
}

InProcessService::~InProcessService()
{
    m_connection.reset();
    if (m_listener)
        m_listener->invalidate();
    m_mainLoop.stop();
    if (m_mainThread.joinable())
        m_mainThread.join();
    if (m_previousRuntimeDir)
        ::setenv("XDG_RUNTIME_DIR", m_previousRuntimeDir->c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
}

} // namespace mq::test
