// The listening side of the request channel: accepts clients on the service's
// Unix socket, reads and checks their frames on an I/O thread, runs each
// connection's requests one after another on that connection's own serial queue,
// and writes the replies back.
//
// A frame that does not decode, names an unknown selector, carries wrong argument
// types or exceeds the size limit is a protocol violation: one log line, and only
// that connection is closed. No client can hold more than its share: a frame left
// incomplete is closed after a time-out, replies a client does not read stop its
// requests from being read, and a connection whose thread cannot be started is
// refused while the others go on.
#pragma once

#include "app/ipc/server/MQHelperXPCInterface.h"
#include "platform/Log.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace mq::ipc {

/// Most clients connected at once; further connections are refused and logged.
inline constexpr std::size_t kMaxConnections = 64;
/// Most requests waiting on one connection's queue; beyond it the connection is
/// not read until the queue drains (logged once each time the limit is reached).
inline constexpr std::size_t kMaxQueuedRequestsPerConnection = 32;

/// How much one client may hold of the helper. The defaults are the helper's;
/// tests shorten the time-out.
struct ConnectionLimits {
    /// Most clients connected at once.
    std::size_t maxConnections { kMaxConnections };
    /// A frame whose first byte arrived this long ago and that is still not
    /// complete closes its connection (logged).
    std::chrono::milliseconds incompleteFrameTimeout { std::chrono::seconds(10) };
    /// Reply bytes of one connection that the client has not read yet. Over it,
    /// the connection's requests are neither read nor started until the client
    /// reads (logged once each time the bound is reached).
    std::size_t maxUnsentReplyBytes { 16 * 1024 * 1024 };
};

/// Who is on the other end of a connection (from the socket's peer credentials).
struct PeerInfo {
    int pid { -1 };
    unsigned uid { 0 };
};

/// Connection events, for the listener's delegate. Called on the I/O thread.
struct ListenerDelegate {
    /// A same-user client connected; its requests go to the exported object.
    std::function<void(const PeerInfo&)> connectionAccepted;
    /// The client closed its end, or the connection was closed for a violation.
    std::function<void(const PeerInfo&)> connectionInvalidated;
    /// The connection broke with an error (reset by the peer).
    std::function<void(const PeerInfo&)> connectionInterrupted;
};

class ServiceListener {
public:
    /// Listens on `socketPath`, or on the listening socket that systemd passed
    /// (socket activation) when there is one. Every connection's requests go to
    /// `exported`, which must outlive the listener.
    ServiceListener(std::string socketPath, std::shared_ptr<MQHelperXPCProtocol> exported, ListenerDelegate delegate,
        ConnectionLimits limits = {});
    ~ServiceListener();
    ServiceListener(const ServiceListener&) = delete;
    ServiceListener& operator=(const ServiceListener&) = delete;

    /// Starts listening and accepting. False, with the reason logged, when the
    /// socket cannot be set up (another helper already serves it, for one).
    bool resume();

    /// Stops accepting, closes every connection and removes the socket file
    /// that resume() created. Requests already running finish on their own.
    void invalidate();

    /// Waits until every reply handed to the listener has been written, at most `timeout`.
    bool waitForRepliesWritten(std::chrono::milliseconds timeout);

    std::size_t connectionCount() const;
    const std::string& socketPath() const;

    struct Impl;

private:
    std::shared_ptr<Impl> m_impl;
};

} // namespace mq::ipc
