// Publishes Logic's transport position into clients' shared-memory files.
//
// Each client names a file; the reader maps it as a scrub block (SharedMemoryLayout.h)
// and, sixty times a second on the main run loop, reads Logic's control-bar time
// display, converts it at that client's frame rate and writes it with a sequence
// number, a valid flag and the display mode. Within one block the stores are issued
// as release stores in this order: display mode word, position, sequence number; the
// valid flag comes after them. Everything except readDisplaySecondsOnce runs on the
// main thread.
#pragma once

#include "ax/UIElement.h"
#include "monitors/SharedMemoryBlock.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Platform.h"

#include <chrono>
#include <cstdint>
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
    /// give a long one so that the timer never interferes.
    TransportReader(platform::Platform& platform, RunLoop& mainLoop, std::chrono::nanoseconds pollInterval = kPollInterval);
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
    bool start(double frameRate, bool isDropFrame, const std::string& shmPath);
    /// Unregisters `shmPath`, marking its block invalid. Stopping the last path ends polling.
    void stop(const std::string& shmPath);

    /// The display position in seconds at `frameRate`, from a fresh full search.
    /// Callable from any thread: it touches no reader's state.
    static std::optional<double> readDisplaySecondsOnce(platform::Platform& platform, double frameRate);

    /// One poll tick, as the timer runs it.
    void pollTick();

    /// The outcome of a full display search.
    struct DisplaySearch {
        std::optional<ax::UIElement> group;
        std::vector<ax::UIElement> sliders;
    };
    /// Searches each of Logic's windows depth first (at most 6000 elements each)
    /// for the first group that passes groupCheck.
    static DisplaySearch searchDisplay(platform::Platform& platform);
    /// The group's slider children ordered left to right, at most five, when there
    /// are 4 or more and the first names an hour field; nothing otherwise.
    static std::optional<std::vector<ax::UIElement>> groupCheck(const ax::UIElement& group);
    /// The display text: the value descriptions of the first four sliders (each
    /// required) and of a fifth when it is all digits, joined with ":".
    static std::optional<std::string> readDisplayText(const std::vector<ax::UIElement>& sliders);

    // State, for diagnostics and tests (main thread).
    bool isPolling() const { return m_pollTimer != nullptr; }
    std::size_t targetCount() const { return m_targets.size(); }
    bool hasTarget(const std::string& shmPath) const { return m_targets.contains(shmPath); }
    std::optional<std::uint32_t> sequenceOf(const std::string& shmPath) const;
    /// The registered target of `shmPath`, or nullptr.
    ScrubTarget* target(const std::string& shmPath);
    std::int64_t displayMode() const { return m_lcdDisplayMode; }
    std::size_t sliderCount() const { return m_sliders.size(); }
    std::uint32_t pollTickCount() const { return m_pollTick; }
    std::int64_t ticksSinceChange() const { return m_ticksSinceChange; }
    bool lastParseOK() const { return m_lastParseOK; }

private:
    bool onMainThread(std::string_view operation) const;
    void applySearch(DisplaySearch search);
    void invalidateAllTargets();
    /// Unregisters the targets whose file was cut short under their mapping.
    void dropFaultedTargets();
    /// Ends polling once no target remains.
    void stopPollingIfIdle();
    void displayLost();

    platform::Platform& m_platform;
    RunLoop& m_mainLoop;
    std::chrono::nanoseconds m_pollInterval;
    /// Timer ticks hold this weakly: a tick after the reader is gone does nothing.
    std::shared_ptr<TransportReader*> m_anchor { std::make_shared<TransportReader*>(this) };

    log::Logger m_log { "helper.scrub" };
    /// Ordered by path: "the first target" is the one with the smallest path.
    std::map<std::string, ScrubTarget> m_targets;
    std::unique_ptr<RepeatingTimer> m_pollTimer;
    std::vector<ax::UIElement> m_sliders;
    std::optional<ax::UIElement> m_sliderGroup;
    std::string m_lastSMPTE;
    bool m_lastParseOK { true };
    std::int64_t m_lcdDisplayMode { -1 };
    std::int64_t m_reResolveTick { 0 };
    std::uint32_t m_pollTick { 0 };
    std::int64_t m_ticksSinceChange { 0 };
};

} // namespace mq
