#include "app/MQHelperXPCListener.h"

#include "protocol/ServiceEndpoint.h"

namespace mq {

MQHelperXPCListener::MQHelperXPCListener(std::string socketPath, ServiceEnvironment environment)
    : MQHelperXPCListener(std::move(socketPath), std::make_shared<MQHelperService>(std::move(environment)))
{
}

MQHelperXPCListener::MQHelperXPCListener(std::string socketPath, std::shared_ptr<MQHelperService> service, ipc::ConnectionLimits limits)
    : m_service(std::move(service))
{
    // The connection handlers only log; a client that goes away leaves every
    // monitor it started running until a stop request arrives.
    ipc::ListenerDelegate delegate;
    delegate.connectionAccepted = [log = m_log](const ipc::PeerInfo& peer) {
        log.info("accepted new client connection (pid {})", peer.pid);
    };
    delegate.connectionInvalidated = [log = m_log](const ipc::PeerInfo&) { log.info("client connection invalidated"); };
    delegate.connectionInterrupted = [log = m_log](const ipc::PeerInfo&) { log.info("client connection interrupted"); };
    m_listener = std::make_unique<ipc::ServiceListener>(std::move(socketPath), m_service, std::move(delegate), limits);
}

MQHelperXPCListener::~MQHelperXPCListener()
{
    invalidate();
}

bool MQHelperXPCListener::start()
{
    if (!m_listener->resume())
        return false;
    m_log.info("XPC listener resumed on {}", ipc::kServiceName);
    return true;
}

void MQHelperXPCListener::invalidate()
{
    m_listener->invalidate();
}

void MQHelperXPCListener::flushReplies(std::chrono::milliseconds timeout)
{
    m_listener->waitForRepliesWritten(timeout);
}

} // namespace mq
