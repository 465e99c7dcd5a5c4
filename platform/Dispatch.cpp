#include "platform/Dispatch.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <cmath>

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
    asio::post(m_impl->context, std::move(job));
}

bool RunLoop::isCurrent() const
{
    return t_currentQueue == this;
}

void RunLoop::after(std::chrono::nanoseconds delay, Job job)
{
    auto timer = std::make_shared<asio::steady_timer>(m_impl->context, delay);
    timer->async_wait([timer, job = std::move(job)](const std::error_code& error) mutable {
        if (!error)
            job();
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
            self->tick();
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
        job();
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

ConcurrentDispatchQueue::ConcurrentDispatchQueue(std::string label, unsigned threads)
    : m_label(std::move(label))
{
    for (unsigned i = 0; i < std::max(1u, threads); ++i)
        m_threads.emplace_back([this] { runJobs(); });
}

ConcurrentDispatchQueue::~ConcurrentDispatchQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_wake.notify_all();
    }
    for (auto& thread : m_threads)
        thread.join();
}

void ConcurrentDispatchQueue::async(Job job)
{
    std::lock_guard lock(m_mutex);
    m_jobs.push_back(std::move(job));
    m_wake.notify_one();
}

bool ConcurrentDispatchQueue::isCurrent() const
{
    return t_currentQueue == this;
}

void ConcurrentDispatchQueue::runJobs()
{
    t_currentQueue = this;
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}

void sleepForSeconds(double seconds)
{
    if (!(seconds > 0) || !std::isfinite(seconds))
        return;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

} // namespace mq
