// What every hostile test shares: a real helper and logicsim, the helper's
// resources read from /proc before and after the attack, and a bystander client
// whose replies are timed while the attack runs.
//
// After an attack the helper must still be running, serve a well-behaved client,
// and hold no more descriptors, mappings or threads than before it.
#pragma once

#include "tests/harness/HelperHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mq::test {

/// What the helper holds, from /proc/<pid>.
struct HelperResources {
    std::size_t descriptors { 0 };
    /// Mappings other than thread stacks and allocator arenas (see resourcesOf).
    std::size_t mappings { 0 };
    std::size_t threads { 0 };
    /// The peak resident set (VmHWM), kB.
    std::size_t peakResidentKilobytes { 0 };
    /// /proc/<pid>/maps, for the message when the counts differ.
    std::string mapsText;

};

/// Reads /proc/<pid>. Thread stacks and allocator arenas are left out of the
/// mappings: the C library keeps both after a thread ends, to reuse them.
HelperResources resourcesOf(pid_t pid);

/// The resident set (VmRSS) of `pid` now, kB.
std::size_t residentKilobytesOf(pid_t pid);

/// The helper's peak resident set through an attack stays under 64 MiB. Not
/// checked under AddressSanitizer, where freed memory sits in quarantine and
/// shadow memory comes on top, so the figure is not the helper's own.
inline void expectPeakResidentWithinBound(std::size_t peakKilobytes)
{
#if defined(__SANITIZE_ADDRESS__)
    (void)peakKilobytes;
#else
    EXPECT_LT(peakKilobytes, 64u * 1024) << "kB, the helper's peak resident set";
#endif
}

/// A client that asks for the control-bar state (a main-queue request) every
/// 20 ms on its own connection and keeps the slowest reply and any failure.
class Bystander {
public:
    explicit Bystander(HelperHarness& harness);
    ~Bystander();
    Bystander(const Bystander&) = delete;
    Bystander& operator=(const Bystander&) = delete;

    /// Stops asking; returns the slowest reply seen.
    std::chrono::milliseconds stop();
    /// The reply time that 99 of 100 replies took at most (call after stop()).
    std::chrono::milliseconds p99() const;
    std::size_t failures() const { return m_failures.load(); }
    std::size_t replies() const { return m_replies.load(); }

private:
    std::unique_ptr<client::HelperConnection> m_connection;
    std::atomic<bool> m_running { true };
    std::atomic<std::size_t> m_failures { 0 };
    std::atomic<std::size_t> m_replies { 0 };
    std::atomic<long long> m_worstMilliseconds { 0 };
    mutable std::mutex m_latenciesMutex;
    std::vector<long long> m_latencies;
    std::thread m_thread;
};

class HostileTest : public ::testing::Test {
protected:
    explicit HostileTest(std::optional<std::string> scenario = std::nullopt);

    /// Starts the bystander (unless `withBystander` is false) and records the
    /// helper's resources; call once the paths the attack uses have been warmed up.
    void takeBaseline(bool withBystander = true);
    /// The helper is alive, a new client is served promptly, and (within a
    /// bounded wait) its descriptors, mappings and threads are back to the
    /// baseline. Prints the peak resident set and the bystander's worst latency.
    void expectRecovered();

    bool helperAlive() { return !harness.helper().waitForExit(std::chrono::milliseconds(0)); }
    bool helperLogged(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        return harness.helper().waitForLine(text, limit);
    }

    HelperHarness harness;
    std::unique_ptr<client::HelperConnection> connection;
    std::unique_ptr<Bystander> bystander;

private:
    HelperResources m_baseline;
};

} // namespace mq::test
