#include "monitors/TransportReader.h"

#include "logic/LogicApplication.h"
#include "timecode/TimecodeParsing.h"

namespace mq {

// The mode words are the file format's; the display mode maps onto them.
static_assert(timecode::scrubWord(timecode::DisplayMode::unknown) == shm::displaymodeword::unknown);
static_assert(timecode::scrubWord(timecode::DisplayMode::frames) == shm::displaymodeword::frames);
static_assert(timecode::scrubWord(timecode::DisplayMode::subframes) == shm::displaymodeword::subframes);
static_assert(timecode::scrubWord(timecode::DisplayMode::quarterFrames) == shm::displaymodeword::quarterFrames);
static_assert(timecode::scrubWord(timecode::DisplayMode::samples) == shm::displaymodeword::samples);

TransportReader::TransportReader(platform::Platform& platform, RunLoop& mainLoop, std::chrono::nanoseconds pollInterval,
    DispatchQueue* readQueue)
    : m_platform(platform)
    , m_mainLoop(mainLoop)
    , m_pollInterval(pollInterval)
    , m_readQueue(readQueue)
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
    std::optional<timecode::ControlBarDisplay> display = timecode::ControlBarDisplay::locate(logic::logicApplicationElement(platform));
    if (!display)
        return std::nullopt;
    return display->seconds(frameRate);
}

template<typename Reading>
void TransportReader::readLogic(UniqueFunction<Reading()> read, UniqueFunction<void(Reading, bool current)> apply)
{
    m_readInFlight = true;
    std::uint64_t generation = m_generation;
    if (!m_readQueue) {
        Reading reading = read();
        bool current = generation == m_generation;
        if (current)
            m_readInFlight = false;
        apply(std::move(reading), current);
        return;
    }
    m_readQueue->async([read = std::move(read), apply = std::move(apply), generation, loop = &m_mainLoop,
                           weak = std::weak_ptr(m_anchor)]() mutable {
        Reading reading = read();
        loop->async([reading = std::move(reading), apply = std::move(apply), generation, weak]() mutable {
            auto anchor = weak.lock();
            bool current = anchor && (*anchor)->m_generation == generation;
            if (current)
                (*anchor)->m_readInFlight = false;
            apply(std::move(reading), current);
        });
    });
}

TransportReader::Found TransportReader::search(platform::Platform& platform)
{
    std::optional<timecode::ControlBarDisplay> display = timecode::ControlBarDisplay::locate(logic::logicApplicationElement(platform));
    if (!display || !display->isReadable())
        return {};
    timecode::DisplayMode mode = display->mode();
    return Found { std::move(display), mode };
}

TransportReader::TickReading TransportReader::readTick(timecode::ControlBarDisplay display, timecode::DisplayMode mode,
    bool recheck, bool idle)
{
    TickReading reading;
    if (recheck) {
        std::optional<timecode::ControlBarDisplay> checked = timecode::ControlBarDisplay::fromGroup(display.group());
        if (!checked || !checked->isReadable()) {
            reading.lost = true;
            return reading;
        }
        timecode::DisplayMode checkedMode = checked->mode();
        if (checked->fieldCount() != display.fieldCount() || checkedMode != mode) {
            display = *checked;
            reading.relaid = Found { std::move(checked), checkedMode };
        }
    }
    // A change of layout starts the count of unchanged readings again.
    if (idle && !reading.relaid) {
        reading.idle = true;
        return reading;
    }
    reading.text = display.text();
    reading.lost = !reading.text;
    return reading;
}

void TransportReader::applySearch(Found found)
{
    m_display = std::move(found.display);
    timecode::DisplayMode mode = m_display ? found.mode : timecode::DisplayMode::unknown;
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
    ++m_generation;
    m_readInFlight = false;
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
    readLogic<Found>([platform = &m_platform] { return search(*platform); },
        [this](Found found, bool current) {
            if (!current || !found.display)
                return;
            applySearch(std::move(found));
            m_lastSMPTE.clear();
            m_log.info("scrub: SMPTE sliders (re)resolved");
        });
}

void TransportReader::pollTick()
{
    dropFaultedTargets();
    if (m_targets.empty() || m_readInFlight)
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

    bool recheck = m_pollTick % kTicksPerSecond == 0;
    bool idle = m_ticksSinceChange >= kIdleAfterUnchangedTicks && m_pollTick % 3 != 0;
    if (idle && !recheck)
        return;
    readLogic<TickReading>([display = *m_display, mode = m_lcdDisplayMode, recheck, idle] { return readTick(display, mode, recheck, idle); },
        [this](TickReading reading, bool current) {
            if (current)
                applyTick(std::move(reading));
        });
}

void TransportReader::applyTick(TickReading reading)
{
    if (reading.lost) {
        displayLost();
        return;
    }
    if (reading.relaid) {
        applySearch(std::move(*reading.relaid));
        m_lastSMPTE.clear();
        m_ticksSinceChange = 0;
    }
    if (reading.idle)
        return;
    const std::optional<std::string>& text = reading.text;

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
            // The client reads these in the opposite order; see include/marquee/ScrubReader.h.
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

void TransportReader::start(double frameRate, bool isDropFrame, const std::string& shmPath, UniqueFunction<void(bool)> done)
{
    if (!onMainThread("start")) {
        done(false);
        return;
    }

    auto existing = m_targets.find(shmPath);
    if (existing == m_targets.end() && m_targets.size() >= kMaxTargets) {
        m_log.error("scrub: target limit {} reached; start refused", kMaxTargets);
        done(false);
        return;
    }

    auto opened = shm::ScrubBlock::open(shmPath, shm::FaultPolicy::guarded);
    if (!opened) {
        const shm::MapFailure* failure = &opened.error();
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
                ++m_generation;
                m_readInFlight = false;
                m_pollTimer.reset();
                m_display.reset();
            }
        }
        done(false);
        return;
    }

    std::uint32_t sequence = existing != m_targets.end() ? existing->second.scrubSeq : 0;
    if (existing != m_targets.end())
        m_targets.erase(existing); // Unmaps the old block.
    m_targets.emplace(shmPath, ScrubTarget { frameRate, isDropFrame, std::move(opened.value()), sequence });

    m_pollTimer.reset();
    m_lastSMPTE.clear();
    m_reResolveTick = 0;
    m_pollTick = 0;
    m_ticksSinceChange = 0;

    // Ticks stay off until the search has ended; a read still running from before
    // is out of date.
    ++m_generation;
    readLogic<Found>([platform = &m_platform] { return search(*platform); },
        [this, frameRate, isDropFrame, done = std::move(done)](Found found, bool current) mutable {
            bool readable = found.display.has_value();
            // A later start searches again, and a stop of every path ends polling:
            // either way this search's result no longer counts.
            if (current)
                finishStart(std::move(found), frameRate, isDropFrame);
            done(readable);
        });
}

void TransportReader::finishStart(Found found, double frameRate, bool isDropFrame)
{
    applySearch(std::move(found));

    if (hasReadableDisplay()) {
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
    ++m_generation;
    m_readInFlight = false;
    m_pollTimer.reset();
    m_display.reset();
    m_log.info("scrub: stopped (no targets remain)");
}

} // namespace mq
