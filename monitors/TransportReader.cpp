#include "monitors/TransportReader.h"

#include "timecode/TimecodeParsing.h"

namespace mq {

// The mode words are the file format's; the display mode maps onto them.
static_assert(timecode::scrubWord(timecode::DisplayMode::unknown) == shm::displaymodeword::unknown);
static_assert(timecode::scrubWord(timecode::DisplayMode::frames) == shm::displaymodeword::frames);
static_assert(timecode::scrubWord(timecode::DisplayMode::subframes) == shm::displaymodeword::subframes);
static_assert(timecode::scrubWord(timecode::DisplayMode::quarterFrames) == shm::displaymodeword::quarterFrames);
static_assert(timecode::scrubWord(timecode::DisplayMode::samples) == shm::displaymodeword::samples);

TransportReader::TransportReader(platform::Platform& platform, RunLoop& mainLoop, std::chrono::nanoseconds pollInterval)
    : m_platform(platform)
    , m_mainLoop(mainLoop)
    , m_pollInterval(pollInterval)
{
}

TransportReader::~TransportReader() = default;

bool TransportReader::onMainThread(std::string_view operation) const
{
    if (m_mainLoop.isCurrent())
        return true;
    m_log.fault("scrub: {} called off the main thread; ignored", operation);
    return false;
}

ScrubTarget* TransportReader::target(const std::string& shmPath)
{
    auto found = m_targets.find(shmPath);
    return found == m_targets.end() ? nullptr : &found->second;
}

std::optional<std::uint32_t> TransportReader::sequenceOf(const std::string& shmPath) const
{
    auto found = m_targets.find(shmPath);
    if (found == m_targets.end())
        return std::nullopt;
    return found->second.scrubSeq;
}

std::optional<double> TransportReader::readDisplaySecondsOnce(platform::Platform& platform, double frameRate)
{
    std::optional<timecode::ControlBarDisplay> display = timecode::ControlBarDisplay::locate(platform);
    if (!display)
        return std::nullopt;
    return display->seconds(frameRate);
}

std::optional<timecode::ControlBarDisplay> TransportReader::searchReadableDisplay() const
{
    std::optional<timecode::ControlBarDisplay> display = timecode::ControlBarDisplay::locate(m_platform);
    if (display && !display->isReadable())
        return std::nullopt;
    return display;
}

void TransportReader::applySearch(std::optional<timecode::ControlBarDisplay> display)
{
    m_display = std::move(display);
    timecode::DisplayMode mode = m_display ? m_display->mode() : timecode::DisplayMode::unknown;
    if (mode != m_lcdDisplayMode)
        m_log.info("scrub: LCD display mode {} ({} fields)", timecode::rawValue(mode), sliderCount());
    m_lcdDisplayMode = mode;
}

void TransportReader::invalidateAllTargets()
{
    for (auto& [path, target] : m_targets) {
        target.shm.storeValid(0);
        target.shm.storeDisplayModeWord(shm::displaymodeword::unknown);
    }
}

void TransportReader::dropFaultedTargets()
{
    bool dropped = false;
    for (auto it = m_targets.begin(); it != m_targets.end();) {
        if (!it->second.shm.faulted()) {
            ++it;
            continue;
        }
        m_log.error("scrub: shared-memory file {} was cut short under its mapping; target dropped", it->first);
        it = m_targets.erase(it);
        dropped = true;
    }
    if (dropped)
        stopPollingIfIdle();
}

void TransportReader::stopPollingIfIdle()
{
    if (!m_targets.empty())
        return;
    m_pollTimer.reset();
    m_display.reset();
    m_log.info("scrub: stopped (no targets remain)");
}

void TransportReader::displayLost()
{
    invalidateAllTargets();
    m_display.reset();
    if (++m_reResolveTick < static_cast<std::int64_t>(kTicksPerSecond))
        return;
    m_reResolveTick = 0;
    std::optional<timecode::ControlBarDisplay> found = searchReadableDisplay();
    if (!found)
        return;
    applySearch(std::move(found));
    m_lastSMPTE.clear();
    m_log.info("scrub: SMPTE sliders (re)resolved");
}

void TransportReader::pollTick()
{
    dropFaultedTargets();
    if (m_targets.empty())
        return;

    std::uint32_t steadyRateRequest = m_targets.begin()->second.shm.steadyRateRequest();
    std::uint32_t tickBefore = m_pollTick++;
    if (steadyRateRequest != 0) {
        m_ticksSinceChange = 0;
        if (tickBefore % 2 == 0)
            return;
    }

    if (!hasReadableDisplay()) {
        displayLost();
        return;
    }

    if (m_pollTick % kTicksPerSecond == 0) {
        std::optional<timecode::ControlBarDisplay> checked = timecode::ControlBarDisplay::fromGroup(m_display->group());
        if (!checked || !checked->isReadable()) {
            displayLost();
            return;
        }
        if (checked->fieldCount() != m_display->fieldCount() || checked->mode() != m_lcdDisplayMode) {
            applySearch(std::move(checked));
            m_lastSMPTE.clear();
            m_ticksSinceChange = 0;
        }
    }

    if (m_ticksSinceChange >= kIdleAfterUnchangedTicks && m_pollTick % 3 != 0)
        return;

    std::optional<std::string> text = m_display->text();
    if (!text) {
        displayLost();
        return;
    }

    if (*text == m_lastSMPTE) {
        if (m_ticksSinceChange < kIdleAfterUnchangedTicks)
            ++m_ticksSinceChange;
    } else {
        m_lastSMPTE = *text;
        m_ticksSinceChange = 0;
        std::string cut = timecode::firstFourFields(*text);
        bool readable = timecode::parseLCDTimecode(cut, m_targets.begin()->second.frameRate).has_value();
        if (readable != m_lastParseOK) {
            if (!readable) {
                m_log.error("scrub: LCD value '{}' unreadable — scrub invalid until it reads again", *text);
                m_lastParseOK = false;
                invalidateAllTargets();
                return;
            }
            m_log.info("scrub: LCD readable again");
            m_lastParseOK = true;
        } else if (!readable) {
            invalidateAllTargets();
            return;
        }

        std::int32_t modeWord = timecode::scrubWord(m_lcdDisplayMode);
        for (auto& [path, target] : m_targets) {
            std::optional<double> seconds = timecode::parseLCDTimecode(cut, target.frameRate);
            if (!seconds)
                continue;
            // The client reads these in the opposite order; see client/ScrubReader.h.
            target.shm.storeDisplayModeWord(modeWord);
            target.shm.storePosition(*seconds);
            target.scrubSeq += 1; // Unsigned: wraps from 4294967295 to 0.
            target.shm.storeSequence(target.scrubSeq);
        }
        m_log.debug("scrub: {} → {} target(s)", *text, m_targets.size());
    }

    if (m_lastParseOK)
        for (auto& [path, target] : m_targets)
            target.shm.storeValid(1);
}

bool TransportReader::start(double frameRate, bool isDropFrame, const std::string& shmPath)
{
    if (!onMainThread("start"))
        return false;

    auto existing = m_targets.find(shmPath);
    if (existing == m_targets.end() && m_targets.size() >= kMaxTargets) {
        m_log.error("scrub: target limit {} reached; start refused", kMaxTargets);
        return false;
    }

    std::variant<shm::ScrubBlock, shm::MapFailure> opened = shm::ScrubBlock::open(shmPath, shm::FaultPolicy::guarded);
    if (auto* failure = std::get_if<shm::MapFailure>(&opened)) {
        const char* stage = failure->stage == shm::MapFailure::Stage::open ? "open shm" : "mmap";
        if (failure->reason)
            m_log.error("scrub: {} failed errno {} ({})", stage, failure->error, failure->reason);
        else
            m_log.error("scrub: {} failed errno {}", stage, failure->error);
        // A registered path whose file can no longer be opened is dropped, so that
        // nothing is written through its old mapping once it is released.
        if (existing != m_targets.end()) {
            existing->second.shm.storeValid(0);
            existing->second.shm.storeDisplayModeWord(shm::displaymodeword::unknown);
            m_targets.erase(existing);
            if (m_targets.empty()) {
                m_pollTimer.reset();
                m_display.reset();
            }
        }
        return false;
    }

    std::uint32_t sequence = existing != m_targets.end() ? existing->second.scrubSeq : 0;
    if (existing != m_targets.end())
        m_targets.erase(existing); // Unmaps the old block.
    m_targets.emplace(shmPath, ScrubTarget { frameRate, isDropFrame, std::move(std::get<shm::ScrubBlock>(opened)), sequence });

    m_pollTimer.reset();
    m_lastSMPTE.clear();
    m_reResolveTick = 0;
    m_pollTick = 0;
    m_ticksSinceChange = 0;

    applySearch(searchReadableDisplay());

    bool found = hasReadableDisplay();
    if (found) {
        m_log.info("scrub: SMPTE sliders found; {} target(s); polling at {:f} Hz (fps {:f} df {})", m_targets.size(),
            static_cast<double>(kTicksPerSecond), frameRate, isDropFrame);
    } else {
        m_log.notice("scrub: SMPTE display not found yet (set Control Bar LCD to Time); polling to recover");
        invalidateAllTargets();
    }

    m_pollTimer = std::make_unique<RepeatingTimer>(m_mainLoop, m_pollInterval, [weak = std::weak_ptr(m_anchor)] {
        if (auto anchor = weak.lock())
            (*anchor)->pollTick();
    });
    return found;
}

void TransportReader::stop(const std::string& shmPath)
{
    if (!onMainThread("stop"))
        return;
    auto found = m_targets.find(shmPath);
    if (found == m_targets.end()) {
        m_log.info("scrub: stop for unregistered path; ignored");
        return;
    }
    found->second.shm.storeValid(0);
    found->second.shm.storeDisplayModeWord(shm::displaymodeword::unknown);
    m_targets.erase(found);

    if (!m_targets.empty()) {
        m_log.info("scrub: target removed; {} remain", m_targets.size());
        return;
    }
    m_pollTimer.reset();
    m_display.reset();
    m_log.info("scrub: stopped (no targets remain)");
}

} // namespace mq
