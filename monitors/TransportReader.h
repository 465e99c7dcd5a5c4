// Publishes Logic's transport position into clients' shared-memory files.
//
// Each client names a file; the reader maps it as a scrub block (SharedMemoryLayout.h)
// and, sixty times a second on the main run loop, reads Logic's control-bar time
// display, converts it at that client's frame rate and writes it with a sequence
// number, a valid flag and the display mode. Within one block the stores are issued
// as release stores in this order: display mode word, position, sequence number; the
// valid flag comes after them. Everything except readDisplaySecondsOnce runs on the
// main thread, except the reader's accessibility reads: given a read queue, every
// read of Logic (the full search for the display, the once-a-second group check and
// the tick's reading of the fields) runs there and its result is handed back to the
// main thread, so that a large window or a Logic that does not answer never holds
// the main queue. A tick that finds the previous read still running is skipped.
#pragma once

#include "marquee/SharedMemoryBlock.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Platform.h"
#include "timecode/ControlBarDisplay.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mq {

/// One registered file.
struct ScrubTarget {
    /// The client's frames per second, used to convert the display text.
    double frameRate;
    /// The client's drop-frame flag; recorded and logged, not used to convert.
    bool isDropFrame;
    /// The 64-byte mapping.
    shm::ScrubBlock shm;
    /// The last sequence number written to this target.
    std::uint32_t scrubSeq;
};

class TransportReader {
public:
    /// 1/60 s.
    static constexpr std::chrono::nanoseconds kPollInterval { 16'666'667 };
    /// Ticks between re-checks of the display group, and between full searches while lost.
    static constexpr std::uint32_t kTicksPerSecond = 60;
    /// Unchanged readings after which the reader falls to the idle rate.
    static constexpr std::int64_t kIdleAfterUnchangedTicks = 30;
    /// Registered paths at most; a start for one more new path is refused. Every
    /// target is a mapping, and the process's mappings are a bounded resource.
    static constexpr std::size_t kMaxTargets = 256;

    /// `pollInterval` is the timer's interval; tests that drive pollTick() by hand
    /// give a long one so that the timer never interferes. `readQueue` is where the
    /// reads of Logic run (a serial queue; it must outlive the reader); without one
    /// they run on the main thread within the call, as tests that drive ticks by
    /// hand want.
    TransportReader(platform::Platform& platform, RunLoop& mainLoop, std::chrono::nanoseconds pollInterval = kPollInterval,
        DispatchQueue* readQueue = nullptr);
    ~TransportReader();
    TransportReader(const TransportReader&) = delete;
    TransportReader& operator=(const TransportReader&) = delete;

    /// Registers or re-registers `shmPath` and (re)starts polling. True when the
    /// display was found at once; false when the file could not be opened or
    /// mapped, and also when polling started but the display is not found yet.
    /// A restart keeps the path's sequence number running; a restart whose open
    /// fails unregisters the path. A new path beyond kMaxTargets answers false
    /// and changes nothing. A file cut short while mapped drops its target with an
    /// error line on the next tick (the mappings are guarded against the fault).
    /// `done` gets the answer on the main thread once the first search has ended
    /// (within the call without a read queue).
    void start(double frameRate, bool isDropFrame, const std::string& shmPath, UniqueFunction<void(bool)> done);
    /// Unregisters `shmPath`, marking its block invalid. Stopping the last path ends polling.
    void stop(const std::string& shmPath);

    /// The display position in seconds at `frameRate`, from a fresh full search.
    /// Callable from any thread: it touches no reader's state.
    [[nodiscard]] static std::optional<double> readDisplaySecondsOnce(platform::Platform& platform, double frameRate);

    /// One poll tick, as the timer runs it.
    void pollTick();

    // State, for diagnostics and tests (main thread).
    bool isPolling() const { return m_pollTimer != nullptr; }
    std::size_t targetCount() const { return m_targets.size(); }
    bool hasTarget(const std::string& shmPath) const { return m_targets.contains(shmPath); }
    [[nodiscard]] std::optional<std::uint32_t> sequenceOf(const std::string& shmPath) const;
    /// The registered target of `shmPath`, or nullptr.
    ScrubTarget* target(const std::string& shmPath);
    timecode::DisplayMode displayMode() const { return m_lcdDisplayMode; }
    std::size_t sliderCount() const { return m_display ? m_display->fieldCount() : 0; }
    std::uint32_t pollTickCount() const { return m_pollTick; }
    std::int64_t ticksSinceChange() const { return m_ticksSinceChange; }
    /// Whether a read of Logic is running on the read queue.
    bool isReading() const { return m_readInFlight; }

private:
    /// A search's result: the display (nothing when none can be read) and its mode.
    struct Found {
        std::optional<timecode::ControlBarDisplay> display;
        timecode::DisplayMode mode { timecode::DisplayMode::unknown };
    };
    /// What one tick read of Logic.
    struct TickReading {
        bool lost { false };
        /// The group check found another field count or mode.
        std::optional<Found> relaid;
        /// Idle tick without a change of layout: nothing was read.
        bool idle { false };
        std::optional<std::string> text;
    };

    /// Runs `read` on the read queue (inline without one) and `apply` with its
    /// result on the main thread; `apply` learns whether the result is still
    /// current (no start or end of polling came in between).
    template<typename Reading>
    void readLogic(UniqueFunction<Reading()> read, UniqueFunction<void(Reading, bool current)> apply);
    static Found search(platform::Platform& platform);
    static TickReading readTick(timecode::ControlBarDisplay display, timecode::DisplayMode mode, bool recheck, bool idle);
    void applyTick(TickReading reading);
    void finishStart(Found found, double frameRate, bool isDropFrame);

    bool onMainThread(std::string_view operation) const;
    /// Keeps the display found (nothing when lost) and logs a change of display mode.
    void applySearch(Found found);
    bool hasReadableDisplay() const { return m_display && m_display->isReadable(); }
    void invalidateAllTargets();
    /// Unregisters the targets whose file was cut short under their mapping.
    void dropFaultedTargets();
    /// Ends polling once no target remains.
    void stopPollingIfIdle();
    void displayLost();

    platform::Platform& m_platform;
    RunLoop& m_mainLoop;
    std::chrono::nanoseconds m_pollInterval;
    DispatchQueue* m_readQueue;
    /// Counts starts and ends of polling: a read begun before one is out of date.
    std::uint64_t m_generation { 0 };
    bool m_readInFlight { false };
    /// Timer ticks hold this weakly: a tick after the reader is gone does nothing.
    std::shared_ptr<TransportReader*> m_anchor { std::make_shared<TransportReader*>(this) };

    log::Logger m_log { "helper.scrub" };
    /// Ordered by path: "the first target" is the one with the smallest path.
    std::map<std::string, ScrubTarget> m_targets;
    std::unique_ptr<RepeatingTimer> m_pollTimer;
    /// The display being read; nothing while it is lost.
    std::optional<timecode::ControlBarDisplay> m_display;
    std::string m_lastSMPTE;
    bool m_lastParseOK { true };
    timecode::DisplayMode m_lcdDisplayMode { timecode::DisplayMode::unknown };
    std::int64_t m_reResolveTick { 0 };
    std::uint32_t m_pollTick { 0 };
    std::int64_t m_ticksSinceChange { 0 };
};

} // namespace mq
