// MQHelperXPCListener: listens on "com.quillmoor.marquee.helper", owns the one
// MQHelperService and exports it on every accepted connection.
#pragma once

#include "app/MQHelperService.h"
#include "app/ipc/server/ServiceListener.h"
#include "platform/Log.h"

#include <chrono>
#include <memory>
#include <string>

namespace mq {

class MQHelperXPCListener {
public:
    /// Creates the logger, the listener for the service's socket and the service, in that order.
    MQHelperXPCListener(std::string socketPath, ServiceEnvironment environment);
    /// Exports `service`, made by the caller (tests give a service of their own),
    /// with `limits` on what one connection may hold.
    MQHelperXPCListener(std::string socketPath, std::shared_ptr<MQHelperService> service, ipc::ConnectionLimits limits = {});
    ~MQHelperXPCListener();

    /// Resumes the listener and logs that it did. False when the socket could not
    /// be set up (logged by the listener).
    bool start();

    /// Stops accepting and closes every connection.
    void invalidate();

    /// Waits until the replies already sent have been written (bounded).
    void flushReplies(std::chrono::milliseconds timeout);

    MQHelperService& service() { return *m_service; }
    std::size_t connectionCount() const { return m_listener->connectionCount(); }

private:
    log::Logger m_log { "helper.xpc" };
    std::shared_ptr<MQHelperService> m_service;
    std::unique_ptr<ipc::ServiceListener> m_listener;
};

} // namespace mq
