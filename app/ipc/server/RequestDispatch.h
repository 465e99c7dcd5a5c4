// Server side of MQHelperXPCProtocol: turns a request frame into a call of the
// handler with typed arguments and a Reply that sends the reply frame.
#pragma once

#include "protocol/Frame.h"
#include "app/ipc/server/MQHelperXPCInterface.h"

#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace mq::ipc {

/// Where a connection's reply frames go. Called from any thread. It is also the
/// origin that the request's Reply names.
class ReplySender : public RequestOrigin {
public:
    virtual ~ReplySender() = default;
    virtual void sendReply(std::uint64_t id, std::vector<WireValue> values) = 0;
};

/// A decoded request, ready to run on the connection's delivery queue.
struct PreparedRequest {
    std::string_view selector;
    std::uint64_t id { 0 };
    /// The reply can carry data of any size up to the reply frame's limit (a crash
    /// report, release notes): a connection runs one such request at a time.
    bool largeReply { false };
    UniqueFunction<void(MQHelperXPCProtocol&, std::shared_ptr<ReplySender>)> invoke;
};

/// A protocol violation: the reason for the log line. The connection is closed.
struct ProtocolViolation {
    std::string reason;
};

/// Checks the selector and argument types of `frame` against the protocol.
[[nodiscard]] Expected<PreparedRequest, ProtocolViolation> prepareRequest(Frame&& frame);

} // namespace mq::ipc
