// One process-wide, first-come-first-served lock for the operations that drive
// Logic's interface.
//
// Logic has one user interface: two requests that open dialogs, type and click in
// it at the same time would type into each other's dialogs. Every operation that
// drives it holds this lock for its whole sequence; requests from other
// connections wait their turn, in the order they asked. Reads that open no dialog
// (the project URL, the control-bar state, the monitors) do not take it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string_view>

namespace mq::logic {

class LogicDrivingLock {
public:
    /// Held while an operation drives Logic; released when destroyed. Move-only.
    class Hold {
    public:
        Hold(Hold&& other) noexcept;
        Hold& operator=(Hold&&) = delete;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold();

    private:
        friend class LogicDrivingLock;
        explicit Hold(LogicDrivingLock* lock)
            : m_lock(lock)
        {
        }
        LogicDrivingLock* m_lock;
    };

    LogicDrivingLock() = default;
    LogicDrivingLock(const LogicDrivingLock&) = delete;
    LogicDrivingLock& operator=(const LogicDrivingLock&) = delete;

    /// The one lock of this process.
    static LogicDrivingLock& processWide();

    /// Returns once every earlier caller has released the lock; callers are served
    /// strictly in the order they called. When the caller has to wait, logs at
    /// info level "`operation`: waiting for another request driving Logic" and,
    /// once it holds the lock, how long it waited. Every holder's work is bounded,
    /// so the wait is too.
    [[nodiscard]] Hold acquire(std::string_view operation);

    /// Callers waiting right now (for diagnostics and tests).
    std::uint64_t waiting() const;

private:
    void release();

    mutable std::mutex m_mutex;
    std::condition_variable m_turn;
    /// The ticket the next caller takes, and the ticket that may hold the lock.
    std::uint64_t m_nextTicket { 0 };
    std::uint64_t m_serving { 0 };
};

} // namespace mq::logic
