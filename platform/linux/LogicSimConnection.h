// One multiplexed connection to logicsim, shared by every thread of the process.
// Each call carries its own request id and waits for its own reply with its own
// deadline, so a slow call on one thread never holds up another. A call reads its
// own reply on its own thread when no other thread is reading, so that an
// accessibility call costs one wake-up on each side, as a raw socket round trip
// does. A connection that breaks fails its waiting calls at once; the next call
// connects again.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace mq::platform {

class LogicSimConnection {
public:
    enum class Status { ok, gone, timedOut };
    struct Result {
        Status status { Status::gone };
        nlohmann::json reply;
    };
    /// Called for each pushed event on whichever thread read it (the connection's
    /// reader thread, or a thread waiting in call()); must not block.
    using EventHandler = std::function<void(const nlohmann::json&)>;

    /// Connects lazily; an empty path means there is no logicsim to talk to.
    explicit LogicSimConnection(std::string socketPath);
    ~LogicSimConnection();
    LogicSimConnection(const LogicSimConnection&) = delete;
    LogicSimConnection& operator=(const LogicSimConnection&) = delete;

    void setEventHandler(EventHandler handler);
    /// Whether someone waits for pushed events now (an observer is scheduled).
    /// Between calls the connection's reader thread normally stays away from the
    /// socket for a short grace after each call, so that calls that follow one
    /// another do not wake it; while events are awaited it reads as soon as no
    /// call does, so that an event reaches its handler when it arrives.
    void setEventsAwaited(bool awaited);

    /// Sends `request` (an "op" and its arguments) and waits for the reply until
    /// `timeout` has passed. Sending counts against the same deadline.
    Result call(nlohmann::json request, std::chrono::nanoseconds timeout);
    /// Sends `request` without waiting for any reply (events, like CGEventPost).
    void post(nlohmann::json request);

private:
    struct Link;
    std::shared_ptr<Link> link();

    std::string m_socketPath;
    std::mutex m_mutex;
    std::shared_ptr<Link> m_link;
    std::shared_ptr<EventHandler> m_events;
    bool m_eventsAwaited { false };
};

} // namespace mq::platform
