#include "logic/LogicDrivingLock.h"

#include "logic/ServiceLog.h"

#include <chrono>
#include <utility>

namespace mq::logic {

LogicDrivingLock::Hold::Hold(Hold&& other) noexcept
    : m_lock(std::exchange(other.m_lock, nullptr))
{
}

LogicDrivingLock::Hold::~Hold()
{
    if (m_lock)
        m_lock->release();
}

LogicDrivingLock& LogicDrivingLock::processWide()
{
    static LogicDrivingLock lock;
    return lock;
}

LogicDrivingLock::Hold LogicDrivingLock::acquire(std::string_view operation)
{
    std::unique_lock lock(m_mutex);
    std::uint64_t ticket = m_nextTicket++;
    if (ticket == m_serving)
        return Hold(this);

    serviceLog().info("{}: waiting for another request driving Logic", operation);
    auto started = std::chrono::steady_clock::now();
    m_turn.wait(lock, [&] { return m_serving == ticket; });
    serviceLog().info("{}: driving Logic after waiting {:.3f}s", operation,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    return Hold(this);
}

std::uint64_t LogicDrivingLock::waiting() const
{
    std::lock_guard lock(m_mutex);
    // Tickets taken but not yet served, less the one holding the lock.
    std::uint64_t outstanding = m_nextTicket - m_serving;
    return outstanding > 0 ? outstanding - 1 : 0;
}

void LogicDrivingLock::release()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_serving;
    }
    m_turn.notify_all();
}

} // namespace mq::logic
