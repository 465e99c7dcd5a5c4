// Queues and the main run loop: where work runs.
//
// The helper's execution disciplines need four kinds of place: the main run loop
// (main-queue jobs, monitor timers, desktop notifications), one serial queue per
// client connection, the global user-initiated pool, and the serial bounce-wait
// queue. The run loop is made in main() and handed down; nothing here is global.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include "marquee/UniqueFunction.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mq {

using Job = UniqueFunction<void()>;

/// Somewhere jobs can be sent to run later, in the order sent for serial queues.
class DispatchQueue {
public:
    virtual ~DispatchQueue() = default;
    /// Queues `job`. Never blocks and never runs the job inline.
    virtual void async(Job job) = 0;
    virtual const std::string& label() const = 0;
    /// True when called from a thread that runs this queue's jobs.
    virtual bool isCurrent() const = 0;
};

/// The main thread's run loop. run() blocks the calling thread, which becomes
/// the main thread, until stop().
class RunLoop final : public DispatchQueue {
public:
    RunLoop();
    ~RunLoop() override;
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    void async(Job job) override;
    const std::string& label() const override { return m_label; }
    bool isCurrent() const override;

    /// Runs `job` once after `delay` on the run loop.
    void after(std::chrono::nanoseconds delay, Job job);

    void run();
    void stop();

    /// The event loop behind the run loop, for code that has to speak Asio.
    /// Returns an `asio::io_context*`; declared opaque to keep Asio out of headers.
    void* nativeHandle();

private:
    friend class RepeatingTimer;
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::string m_label { "com.apple.main-thread" };
};

/// A repeating timer on a run loop. Fires `tick` every `interval` until stopped
/// or destroyed; the first tick comes one interval after start. Run-loop thread only.
class RepeatingTimer {
public:
    RepeatingTimer(RunLoop& loop, std::chrono::nanoseconds interval, Job tick);
    ~RepeatingTimer();
    RepeatingTimer(const RepeatingTimer&) = delete;
    RepeatingTimer& operator=(const RepeatingTimer&) = delete;

    void stop();

private:
    struct Impl;
    std::shared_ptr<Impl> m_impl;
};

/// A queue that runs one job at a time, in order, on its own thread.
/// `capacity` bounds the jobs waiting; tryAsync() refuses beyond it. The queue may
/// be destroyed by one of its own jobs: its thread then finishes on its own.
class SerialDispatchQueue final : public DispatchQueue {
public:
    explicit SerialDispatchQueue(std::string label, size_t capacity = SIZE_MAX);
    ~SerialDispatchQueue() override; // Runs the jobs already queued, then joins.
    SerialDispatchQueue(const SerialDispatchQueue&) = delete;
    SerialDispatchQueue& operator=(const SerialDispatchQueue&) = delete;

    void async(Job job) override;
    /// Queues `job` unless `capacity` jobs are already waiting.
    [[nodiscard]] bool tryAsync(Job job);
    const std::string& label() const override;
    bool isCurrent() const override;

    /// Stops taking jobs; queued jobs still run. The thread ends after the last.
    void close();

    struct State;

private:
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

/// A pool of threads that run jobs concurrently (the global user-initiated queue).
///
/// It grows like the system's global queues: a job that finds every thread busy
/// gets a new thread, up to `maxThreads`, so a job that blocks for a long time
/// never holds up the ones queued after it while the bound is not reached. A
/// thread that has found no job for `idleTimeout` retires. When a thread cannot
/// be started the job waits for the threads already running.
class ConcurrentDispatchQueue final : public DispatchQueue {
public:
    ConcurrentDispatchQueue(std::string label, unsigned maxThreads,
        std::chrono::milliseconds idleTimeout = std::chrono::seconds(2));
    /// Runs the jobs already queued, then waits for every thread to end.
    ~ConcurrentDispatchQueue() override;
    ConcurrentDispatchQueue(const ConcurrentDispatchQueue&) = delete;
    ConcurrentDispatchQueue& operator=(const ConcurrentDispatchQueue&) = delete;

    void async(Job job) override;
    const std::string& label() const override;
    bool isCurrent() const override;

    /// Threads alive now (busy or idle).
    unsigned threadCount() const;
    /// Threads alive and waiting for a job.
    unsigned idleThreadCount() const;
    /// The most threads that were alive at once.
    unsigned peakThreadCount() const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

/// The calling thread's run loop for the length of a blocking wait: jobs sent to
/// it (an accessibility observer's callbacks, say) run on the thread that calls
/// runUntil(), as a wait that spins its own thread's run loop serves the sources
/// added to it. Jobs sent while nobody runs it wait for the next runUntil(), or
/// are dropped with it.
class CallingThreadRunLoop final : public DispatchQueue {
public:
    explicit CallingThreadRunLoop(std::string label);
    ~CallingThreadRunLoop() override;
    CallingThreadRunLoop(const CallingThreadRunLoop&) = delete;
    CallingThreadRunLoop& operator=(const CallingThreadRunLoop&) = delete;

    void async(Job job) override;
    const std::string& label() const override { return m_label; }
    /// True on the thread inside runUntil().
    bool isCurrent() const override;

    /// Runs the jobs queued, waiting for one until `deadline`; returns at the
    /// first that came, after running those queued with it. True when any ran.
    bool runUntil(std::chrono::steady_clock::time_point deadline);

private:
    std::string m_label;
    mutable std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<Job> m_jobs;
    std::thread::id m_runner;
};

/// Sleeps the calling thread for `seconds` (fractions allowed); no-op for <= 0 or NaN.
void sleepForSeconds(double seconds);

} // namespace mq
