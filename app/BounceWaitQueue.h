// bounceWaitQueue: the one thread on which bounce step 5 waits for Logic's export
// dialogs to close, shared fairly by the connections. Waits still run one at a
// time, but each connection has at most kMaxBounceWaitsPerConnection queued or
// running, and the connection served least recently goes first: a client that
// queues many waits delays another client's by at most the one that runs.
#pragma once

#include "platform/Dispatch.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace mq {

/// The most step-5 waits one connection may have queued or running at once.
inline constexpr std::size_t kMaxBounceWaitsPerConnection = 2;

class BounceWaitQueue {
public:
    explicit BounceWaitQueue(std::string label);
    /// Runs the waits already queued, then joins the thread.
    ~BounceWaitQueue();
    BounceWaitQueue(const BounceWaitQueue&) = delete;
    BounceWaitQueue& operator=(const BounceWaitQueue&) = delete;

    /// Takes a place for one more wait of the connection numbered `connection`;
    /// false when that connection holds its share already. Connection 0 (a
    /// request made outside any connection) has no share.
    bool reserve(std::uint64_t connection);
    /// Queues `wait` in a place that reserve() took for `connection`.
    void async(std::uint64_t connection, Job wait);

private:
    void runNext();

    std::mutex m_mutex;
    /// The waits not yet started, per connection.
    std::map<std::uint64_t, std::deque<Job>> m_waiting;
    /// Connections with waits not yet started, in the order of their turns.
    std::deque<std::uint64_t> m_turns;
    /// Waits queued or running, per connection.
    std::map<std::uint64_t, std::size_t> m_held;
    /// When each connection holding waits was last served (a count of waits
    /// started); 0 for one not served yet.
    std::map<std::uint64_t, std::uint64_t> m_lastServed;
    std::uint64_t m_servedCount { 0 };
    // Declared last: destroyed first, so the waits it still runs find the rest.
    SerialDispatchQueue m_queue;
};

} // namespace mq
