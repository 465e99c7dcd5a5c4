#include "app/ipc/server/Reply.h"

#include "platform/Log.h"

namespace mq {

namespace {
std::atomic<std::uint64_t> g_replyFaults { 0 };
}

void reportReplyFault(std::string_view selector, std::string_view what)
{
    g_replyFaults.fetch_add(1, std::memory_order_relaxed);
    static const log::Logger logger("helper.xpc");
    logger.fault("reply to {} {}", selector, what);
}

void reportReplyAnsweredAsFailure(std::string_view selector)
{
    static const log::Logger logger("helper.xpc");
    logger.error("reply to {} answered as a failure: the job handling it threw", selector);
}

std::uint64_t replyFaultCount()
{
    return g_replyFaults.load(std::memory_order_relaxed);
}

} // namespace mq
