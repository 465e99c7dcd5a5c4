// CoalescedRun: one piece of work that many requests may ask for at once and whose
// answer is the same for all of them, such as opening a settings pane or reading
// the control bar. A request made while no run is waiting to start starts one; a
// request made while a run is in progress waits for the next run, so that every
// request is answered by a run that began after it was made, and requests that
// arrive together share that run. However many requests arrive, at most one run
// is in progress and one is waiting: a flood of them cannot start a flood of
// interpreter processes, nor queue a flood of reads ahead of another client's.
#pragma once

#include "platform/Dispatch.h"

#include <mutex>
#include <utility>
#include <vector>

namespace mq {

template <typename Result>
class CoalescedRun {
public:
    using Work = UniqueFunction<Result()>;
    using WhenDone = UniqueFunction<void(const Result&)>;

    /// `work` runs on `queue`, one run at a time; both must outlive this object's
    /// last run.
    CoalescedRun(DispatchQueue& queue, Work work)
        : m_queue(queue)
        , m_work(std::move(work))
    {
    }
    CoalescedRun(const CoalescedRun&) = delete;
    CoalescedRun& operator=(const CoalescedRun&) = delete;

    /// Asks for a run; `whenDone` gets its result on the queue, from a run that
    /// began after this call.
    void request(WhenDone whenDone)
    {
        std::lock_guard lock(m_mutex);
        m_asked.push_back(std::move(whenDone));
        if (m_running)
            return;
        m_running = true;
        m_queue.async([this] { runWhileAsked(); });
    }

private:
    void runWhileAsked()
    {
        for (;;) {
            std::vector<WhenDone> answered;
            {
                std::lock_guard lock(m_mutex);
                if (m_asked.empty()) {
                    m_running = false;
                    return;
                }
                answered.swap(m_asked);
            }
            const Result result = m_work();
            for (WhenDone& whenDone : answered)
                whenDone(result);
        }
    }

    DispatchQueue& m_queue;
    Work m_work;
    std::mutex m_mutex;
    /// The callers of the next run.
    std::vector<WhenDone> m_asked;
    /// A job on the queue is running the work or is about to.
    bool m_running { false };
};

} // namespace mq
