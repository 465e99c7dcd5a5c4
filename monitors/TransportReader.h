// Publishes Logic's transport position into clients' shared-memory files.
#pragma once

#include "platform/Log.h"

namespace mq {

/// FIXME: polling, the shared-memory targets and the one-shot display read are
/// not built yet; the service answers scrub requests with their failure replies.
class TransportReader {
public:
    TransportReader() = default;

private:
    log::Logger m_log { "helper.scrub" };
};

} // namespace mq
