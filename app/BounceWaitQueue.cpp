#include "app/BounceWaitQueue.h"

#include "platform/JobBoundary.h"

namespace mq {

BounceWaitQueue::BounceWaitQueue(std::string label)
    : m_queue(std::move(label))
{
}

BounceWaitQueue::~BounceWaitQueue() = default;

bool BounceWaitQueue::reserve(std::uint64_t connection)
{
    std::lock_guard lock(m_mutex);
    std::size_t& held = m_held[connection];
    if (connection != 0 && held >= kMaxBounceWaitsPerConnection)
        return false;
    ++held;
    return true;
}

void BounceWaitQueue::async(std::uint64_t connection, Job wait)
{
    {
        std::lock_guard lock(m_mutex);
        auto& waiting = m_waiting[connection];
        if (waiting.empty())
            m_turns.push_back(connection);
        waiting.push_back(std::move(wait));
    }
    // One turn for each wait queued: the turn runs whichever wait is next in line.
    m_queue.async([this] { runNext(); });
}

void BounceWaitQueue::runNext()
{
    std::uint64_t connection;
    Job wait;
    {
        std::lock_guard lock(m_mutex);
        // The connection served least recently goes first (one never served before
        // any other), so that a client with a wait queued behind its running one
        // does not go before another client's first.
        auto next = m_turns.begin();
        for (auto turn = m_turns.begin(); turn != m_turns.end(); ++turn)
            if (m_lastServed[*turn] < m_lastServed[*next])
                next = turn;
        connection = *next;
        m_turns.erase(next);
        m_lastServed[connection] = ++m_servedCount;
        auto waiting = m_waiting.find(connection);
        wait = std::move(waiting->second.front());
        waiting->second.pop_front();
        if (waiting->second.empty())
            m_waiting.erase(waiting);
        else
            m_turns.push_back(connection);
    }
    runJobAtBoundary(m_queue.label(), wait);
    wait = nullptr;
    std::lock_guard lock(m_mutex);
    if (auto held = m_held.find(connection); held != m_held.end() && --held->second == 0) {
        m_held.erase(held);
        m_lastServed.erase(connection);
    }
}

} // namespace mq
