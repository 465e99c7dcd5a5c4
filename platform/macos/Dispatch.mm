// The run loop, queues and timers of platform/Dispatch.h over libdispatch and
// CFRunLoop: the main run loop is the main thread's CFRunLoop with the main
// dispatch queue, serial queues are serial dispatch queues, and the global
// user-initiated queue is the system's own.
#include "platform/Dispatch.h"

#include <CoreFoundation/CoreFoundation.h>
#include <dispatch/dispatch.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

namespace mq {

namespace {

thread_local const DispatchQueue* t_currentQueue = nullptr;

// Runs `job` with `queue` as the current queue, for isCurrent().
void runAs(const DispatchQueue* queue, Job& job)
{
    auto* previous = t_currentQueue;
    t_currentQueue = queue;
    job();
    t_currentQueue = previous;
}

// A Job is move-only; a block copies what it captures, so it holds the job through a shared pointer.
std::shared_ptr<Job> share(Job job)
{
    return std::make_shared<Job>(std::move(job));
}

dispatch_time_t after(std::chrono::nanoseconds delay)
{
    return dispatch_time(DISPATCH_TIME_NOW, static_cast<int64_t>(std::max<std::int64_t>(0, delay.count())));
}

} // namespace

struct RunLoop::Impl { };

RunLoop::RunLoop()
    : m_impl(std::make_unique<Impl>())
{
}

RunLoop::~RunLoop() = default;

void RunLoop::async(Job job)
{
    auto shared = share(std::move(job));
    const DispatchQueue* self = this;
    dispatch_async(dispatch_get_main_queue(), ^{
        runAs(self, *shared);
    });
}

bool RunLoop::isCurrent() const
{
    return t_currentQueue == this || CFRunLoopGetCurrent() == CFRunLoopGetMain();
}

void RunLoop::after(std::chrono::nanoseconds delay, Job job)
{
    auto shared = share(std::move(job));
    const DispatchQueue* self = this;
    dispatch_after(mq::after(delay), dispatch_get_main_queue(), ^{
        runAs(self, *shared);
    });
}

void RunLoop::run()
{
    auto* previous = t_currentQueue;
    t_currentQueue = this;
    CFRunLoopRun();
    t_currentQueue = previous;
}

void RunLoop::stop()
{
    CFRunLoopStop(CFRunLoopGetMain());
}

void* RunLoop::nativeHandle()
{
    return CFRunLoopGetMain();
}

struct RepeatingTimer::Impl {
    dispatch_source_t source { nullptr };
};

RepeatingTimer::RepeatingTimer(RunLoop& loop, std::chrono::nanoseconds interval, Job tick)
    : m_impl(std::make_shared<Impl>())
{
    m_impl->source = dispatch_source_create(DISPATCH_SOURCE_TYPE_TIMER, 0, 0, dispatch_get_main_queue());
    auto shared = share(std::move(tick));
    const DispatchQueue* queue = &loop;
    auto nanoseconds = static_cast<uint64_t>(std::max<std::int64_t>(1, interval.count()));
    dispatch_source_set_timer(m_impl->source, mq::after(interval), nanoseconds, nanoseconds / 10);
    dispatch_source_set_event_handler(m_impl->source, ^{
        runAs(queue, *shared);
    });
    dispatch_resume(m_impl->source);
}

RepeatingTimer::~RepeatingTimer()
{
    stop();
}

void RepeatingTimer::stop()
{
    if (m_impl->source) {
        dispatch_source_cancel(m_impl->source);
        m_impl->source = nullptr;
    }
}

struct SerialDispatchQueue::State {
    dispatch_queue_t queue { nullptr };
    std::string label;
    std::size_t capacity { SIZE_MAX };
    std::atomic<std::size_t> waiting { 0 };
    std::atomic<bool> closed { false };
};

SerialDispatchQueue::SerialDispatchQueue(std::string label, size_t capacity)
    : m_state(std::make_shared<State>())
{
    m_state->label = std::move(label);
    m_state->capacity = capacity;
    m_state->queue = dispatch_queue_create(m_state->label.c_str(), DISPATCH_QUEUE_SERIAL);
}

SerialDispatchQueue::~SerialDispatchQueue()
{
    close();
    // Runs the jobs already queued; a job that destroys its own queue cannot wait for itself.
    if (!isCurrent())
        dispatch_sync(m_state->queue, ^{});
}

void SerialDispatchQueue::async(Job job)
{
    if (m_state->closed)
        return;
    auto state = m_state;
    auto shared = share(std::move(job));
    const DispatchQueue* self = this;
    ++state->waiting;
    dispatch_async(state->queue, ^{
        --state->waiting;
        runAs(self, *shared);
    });
}

bool SerialDispatchQueue::tryAsync(Job job)
{
    if (m_state->closed || m_state->waiting >= m_state->capacity)
        return false;
    async(std::move(job));
    return true;
}

const std::string& SerialDispatchQueue::label() const
{
    return m_state->label;
}

bool SerialDispatchQueue::isCurrent() const
{
    return t_currentQueue == this;
}

void SerialDispatchQueue::close()
{
    m_state->closed = true;
}

struct ConcurrentDispatchQueue::State {
    std::string label;
    dispatch_group_t group { nullptr };
    std::atomic<unsigned> running { 0 };
    std::atomic<unsigned> peak { 0 };
};

// The system owns the global queue's threads; the counts here are the jobs that
// run at once, which is what a thread count tells the callers.
ConcurrentDispatchQueue::ConcurrentDispatchQueue(std::string label, unsigned maxThreads, std::chrono::milliseconds idleTimeout)
    : m_state(std::make_shared<State>())
{
    (void)maxThreads;
    (void)idleTimeout;
    m_state->label = std::move(label);
    m_state->group = dispatch_group_create();
}

ConcurrentDispatchQueue::~ConcurrentDispatchQueue()
{
    dispatch_group_wait(m_state->group, DISPATCH_TIME_FOREVER);
}

void ConcurrentDispatchQueue::async(Job job)
{
    auto state = m_state;
    auto shared = share(std::move(job));
    const DispatchQueue* self = this;
    dispatch_group_async(state->group, dispatch_get_global_queue(QOS_CLASS_USER_INITIATED, 0), ^{
        unsigned now = ++state->running;
        unsigned peak = state->peak;
        while (now > peak && !state->peak.compare_exchange_weak(peak, now)) { }
        runAs(self, *shared);
        --state->running;
    });
}

const std::string& ConcurrentDispatchQueue::label() const
{
    return m_state->label;
}

bool ConcurrentDispatchQueue::isCurrent() const
{
    return t_currentQueue == this;
}

unsigned ConcurrentDispatchQueue::threadCount() const
{
    return m_state->running;
}

unsigned ConcurrentDispatchQueue::idleThreadCount() const
{
    return 0;
}

unsigned ConcurrentDispatchQueue::peakThreadCount() const
{
    return m_state->peak;
}

bool CallingThreadRunLoop::runUntil(std::chrono::steady_clock::time_point deadline)
{
    // The thread's CFRunLoop runs in short slices between looks at the queued
    // jobs: an accessibility observer added to this thread's run loop delivers
    // its callbacks only while that run loop runs.
    constexpr CFTimeInterval kSliceSeconds = 0.01;
    {
        std::lock_guard lock(m_mutex);
        m_runner = std::this_thread::get_id();
    }
    std::deque<Job> jobs;
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            jobs.swap(m_jobs);
        }
        if (!jobs.empty() || std::chrono::steady_clock::now() >= deadline)
            break;
        auto left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, std::min(kSliceSeconds, std::max(0.0, left)), true);
    }
    for (Job& job : jobs)
        job();
    std::lock_guard lock(m_mutex);
    m_runner = {};
    return !jobs.empty();
}

} // namespace mq
