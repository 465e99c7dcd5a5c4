#include "platform/Dispatch.h"

#include "platform/JobBoundary.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <algorithm>
#include <cmath>
#include <system_error>

namespace mq {

namespace {
thread_local const DispatchQueue* t_currentQueue = nullptr;
}

struct RunLoop::Impl {
    asio::io_context context;
    asio::executor_work_guard<asio::io_context::executor_type> work { context.get_executor() };
};

RunLoop::RunLoop()
    : m_impl(std::make_unique<Impl>())
{
}

RunLoop::~RunLoop() = default;

void RunLoop::async(Job job)
{
    asio::post(m_impl->context, [this, job = std::move(job)]() mutable { runJobAtBoundary(m_label, job); });
}

bool RunLoop::isCurrent() const
{
    return t_currentQueue == this;
}

void RunLoop::after(std::chrono::nanoseconds delay, Job job)
{
    auto timer = std::make_shared<asio::steady_timer>(m_impl->context, delay);
    timer->async_wait([this, timer, job = std::move(job)](const std::error_code& error) mutable {
        if (!error)
            runJobAtBoundary(m_label, job);
    });
}

void RunLoop::run()
{
    auto* previous = t_currentQueue;
    t_currentQueue = this;
    m_impl->context.run();
    t_currentQueue = previous;
}

void RunLoop::stop()
{
    m_impl->context.stop();
}

void* RunLoop::nativeHandle()
{
    return &m_impl->context;
}

struct RepeatingTimer::Impl : std::enable_shared_from_this<RepeatingTimer::Impl> {
    Impl(asio::io_context& context, std::chrono::nanoseconds interval, Job tick)
        : timer(context)
        , interval(interval)
        , tick(std::move(tick))
    {
    }

    void schedule()
    {
        next += interval;
        // A tick that overran falls back into step instead of firing a burst.
        auto now = std::chrono::steady_clock::now();
        if (next < now)
            next = now;
        timer.expires_at(next);
        timer.async_wait([weak = weak_from_this()](const std::error_code& error) {
            auto self = weak.lock();
            if (error || !self || !self->running)
                return;
            // A tick that throws is reported; the timer keeps its job and goes on.
            callAtJobBoundary("repeating timer", self->tick);
            if (self->running)
                self->schedule();
        });
    }

    asio::steady_timer timer;
    std::chrono::nanoseconds interval;
    Job tick;
    std::chrono::steady_clock::time_point next { std::chrono::steady_clock::now() };
    bool running { true };
};

RepeatingTimer::RepeatingTimer(RunLoop& loop, std::chrono::nanoseconds interval, Job tick)
    : m_impl(std::make_shared<Impl>(loop.m_impl->context, interval, std::move(tick)))
{
    m_impl->schedule();
}

RepeatingTimer::~RepeatingTimer()
{
    stop();
}

void RepeatingTimer::stop()
{
    if (!m_impl->running)
        return;
    m_impl->running = false;
    m_impl->timer.cancel();
}

struct SerialDispatchQueue::State {
    State(std::string queueLabel, size_t queueCapacity)
        : label(std::move(queueLabel))
        , capacity(queueCapacity)
    {
    }
    const std::string label;
    const size_t capacity;
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    bool closed { false };
};

namespace {

// The worker holds the state, not the queue, so that a job may destroy the queue.
void runSerialJobs(std::shared_ptr<SerialDispatchQueue::State> state, const DispatchQueue* queue)
{
    t_currentQueue = queue;
    for (;;) {
        Job job;
        {
            std::unique_lock lock(state->mutex);
            state->wake.wait(lock, [&] { return state->closed || !state->jobs.empty(); });
            if (state->jobs.empty())
                return;
            job = std::move(state->jobs.front());
            state->jobs.pop_front();
        }
        runJobAtBoundary(state->label, job);
        job = nullptr;
        // The job may have destroyed the queue; from here on only `state` is used.
    }
}

} // namespace

SerialDispatchQueue::SerialDispatchQueue(std::string label, size_t capacity)
    : m_state(std::make_shared<State>(std::move(label), capacity))
    , m_thread(runSerialJobs, m_state, this)
{
}

SerialDispatchQueue::~SerialDispatchQueue()
{
    close();
    if (m_thread.get_id() == std::this_thread::get_id()) {
        t_currentQueue = nullptr;
        m_thread.detach();
    } else {
        m_thread.join();
    }
}

void SerialDispatchQueue::async(Job job)
{
    std::lock_guard lock(m_state->mutex);
    if (m_state->closed)
        return;
    m_state->jobs.push_back(std::move(job));
    m_state->wake.notify_one();
}

bool SerialDispatchQueue::tryAsync(Job job)
{
    std::lock_guard lock(m_state->mutex);
    if (m_state->closed || m_state->jobs.size() >= m_state->capacity)
        return false;
    m_state->jobs.push_back(std::move(job));
    m_state->wake.notify_one();
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
    std::lock_guard lock(m_state->mutex);
    m_state->closed = true;
    m_state->wake.notify_one();
}

struct ConcurrentDispatchQueue::State {
    State(std::string queueLabel, unsigned threadBound, std::chrono::milliseconds idle)
        : label(std::move(queueLabel))
        , maxThreads(std::max(1u, threadBound))
        , idleTimeout(idle)
    {
    }
    const std::string label;
    const unsigned maxThreads;
    const std::chrono::milliseconds idleTimeout;
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable allEnded;
    std::deque<Job> jobs;
    unsigned threads { 0 };
    unsigned idleThreads { 0 };
    unsigned peakThreads { 0 };
    bool stopping { false };
};

namespace {

// The threads are detached and hold the state, so that retiring needs nobody to
// join them; the queue's destructor waits until the count of live threads is 0.
void runConcurrentJobs(std::shared_ptr<ConcurrentDispatchQueue::State> state, const DispatchQueue* queue)
{
    t_currentQueue = queue;
    std::unique_lock lock(state->mutex);
    for (;;) {
        if (state->jobs.empty()) {
            if (state->stopping)
                break;
            ++state->idleThreads;
            bool woken = state->wake.wait_for(lock, state->idleTimeout, [&] { return state->stopping || !state->jobs.empty(); });
            --state->idleThreads;
            if (!woken)
                break; // Idle for the whole time-out: retire.
            continue;
        }
        Job job = std::move(state->jobs.front());
        state->jobs.pop_front();
        lock.unlock();
        runJobAtBoundary(state->label, job);
        job = nullptr;
        lock.lock();
    }
    t_currentQueue = nullptr;
    if (--state->threads == 0)
        state->allEnded.notify_all();
}

} // namespace

ConcurrentDispatchQueue::ConcurrentDispatchQueue(std::string label, unsigned maxThreads, std::chrono::milliseconds idleTimeout)
    : m_state(std::make_shared<State>(std::move(label), maxThreads, idleTimeout))
{
}

ConcurrentDispatchQueue::~ConcurrentDispatchQueue()
{
    std::unique_lock lock(m_state->mutex);
    m_state->stopping = true;
    m_state->wake.notify_all();
    m_state->allEnded.wait(lock, [&] { return m_state->threads == 0; });
}

void ConcurrentDispatchQueue::async(Job job)
{
    std::lock_guard lock(m_state->mutex);
    m_state->jobs.push_back(std::move(job));
    // Every idle thread already has a job waiting for it: this one needs a new thread.
    if (m_state->jobs.size() > m_state->idleThreads && m_state->threads < m_state->maxThreads && !m_state->stopping) {
        try {
            std::thread(runConcurrentJobs, m_state, this).detach();
            ++m_state->threads;
            m_state->peakThreads = std::max(m_state->peakThreads, m_state->threads);
        } catch (const std::system_error&) {
            // No thread to be had now (the system's limit): the job waits for a
            // running thread, or for the next job to try again.
        }
    }
    m_state->wake.notify_one();
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
    std::lock_guard lock(m_state->mutex);
    return m_state->threads;
}

unsigned ConcurrentDispatchQueue::idleThreadCount() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->idleThreads;
}

unsigned ConcurrentDispatchQueue::peakThreadCount() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->peakThreads;
}

bool CallingThreadRunLoop::runUntil(std::chrono::steady_clock::time_point deadline)
{
    std::deque<Job> jobs;
    {
        std::unique_lock lock(m_mutex);
        m_arrived.wait_until(lock, deadline, [&] { return !m_jobs.empty(); });
        jobs.swap(m_jobs);
        if (!jobs.empty())
            m_runner = std::this_thread::get_id();
    }
    for (Job& job : jobs)
        runJobAtBoundary(m_label, job);
    std::lock_guard lock(m_mutex);
    m_runner = {};
    return !jobs.empty();
}

} // namespace mq
