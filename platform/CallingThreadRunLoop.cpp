// What CallingThreadRunLoop does the same on every platform; runUntil() lives with
// each platform's run loop (Dispatch.cpp, macos/Dispatch.mm).
#include "platform/Dispatch.h"

namespace mq {

CallingThreadRunLoop::CallingThreadRunLoop(std::string label)
    : m_label(std::move(label))
{
}

CallingThreadRunLoop::~CallingThreadRunLoop() = default;

void CallingThreadRunLoop::async(Job job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_arrived.notify_one();
}

bool CallingThreadRunLoop::isCurrent() const
{
    std::lock_guard lock(m_mutex);
    return m_runner == std::this_thread::get_id();
}

} // namespace mq
