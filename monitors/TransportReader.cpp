#include "monitors/TransportReader.h"

#include "logic/LogicApplication.h"
#include "timecode/ControlBarDisplay.h"
#include "timecode/TimecodeParsing.h"

#include <algorithm>
#include <cctype>

namespace mq {

namespace {

constexpr std::size_t kMaxFields = 5;

bool hasSliderCount(const std::vector<ax::UIElement>& sliders)
{
    return sliders.size() == 4 || sliders.size() == 5;
}

/// `text` cut to its first four ":"-separated fields.
std::string firstFourFields(const std::string& text)
{
    int separators = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == ':' && ++separators == 4)
            return text.substr(0, i);
    return text;
}

std::string trimmed(std::string_view text)
{
    auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

bool allDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
}

} // namespace

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

std::optional<std::vector<ax::UIElement>> TransportReader::groupCheck(const ax::UIElement& group)
{
    std::vector<ax::UIElement> sliders = timecode::sliderChildren(group);
    if (sliders.size() < 4)
        return std::nullopt;
    timecode::sortByScreenX(sliders);
    if (sliders.size() > kMaxFields)
        sliders.erase(sliders.begin() + kMaxFields, sliders.end());
    if (!timecode::isHourFieldDescription(timecode::readString(sliders.front(), ax::Attribute::description).value_or("")))
        return std::nullopt;
    return sliders;
}

TransportReader::DisplaySearch TransportReader::searchDisplay(platform::Platform& platform)
{
    for (const ax::UIElement& window : logic::logicWindows(platform)) {
        std::vector<ax::UIElement> stack { window };
        std::size_t examined = 0;
        while (!stack.empty() && examined < timecode::kDisplaySearchBudget) {
            ax::UIElement element = stack.back();
            stack.pop_back();
            ++examined;
            if (timecode::readString(element, ax::Attribute::role) == "AXGroup") {
                if (std::optional<std::vector<ax::UIElement>> sliders = groupCheck(element))
                    return DisplaySearch { element, std::move(*sliders) };
            }
            std::vector<ax::UIElement> children = timecode::readChildren(element);
            stack.insert(stack.end(), children.begin(), children.end());
        }
    }
    return {};
}

std::optional<std::string> TransportReader::readDisplayText(const std::vector<ax::UIElement>& sliders)
{
    std::string text;
    for (std::size_t i = 0; i < sliders.size() && i < kMaxFields; ++i) {
        std::optional<std::string> value = timecode::readString(sliders[i], ax::Attribute::valueDescription);
        if (i < 4) {
            if (!value)
                return std::nullopt;
        } else {
            if (!value)
                continue;
            *value = trimmed(*value);
            if (!allDigits(*value))
                continue;
        }
        if (i > 0)
            text += ':';
        text += *value;
    }
    return text;
}

std::optional<double> TransportReader::readDisplaySecondsOnce(platform::Platform& platform, double frameRate)
{
    DisplaySearch search = searchDisplay(platform);
    if (!hasSliderCount(search.sliders))
        return std::nullopt;
    std::vector<ax::UIElement> firstFour(search.sliders.begin(), search.sliders.begin() + 4);
    std::optional<std::string> text = readDisplayText(firstFour);
    if (!text)
        return std::nullopt;
    return timecode::parseLCDTimecode(*text, frameRate);
}

void TransportReader::applySearch(DisplaySearch search)
{
    m_sliderGroup = std::move(search.group);
    m_sliders = std::move(search.sliders);
    std::int64_t mode = m_sliders.empty() ? timecode::displaymode::unknown : timecode::lcdDisplayMode(m_sliders);
    if (mode != m_lcdDisplayMode)
        m_log.info("scrub: LCD display mode {} ({} fields)", mode, m_sliders.size());
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
    m_sliders.clear();
    m_log.info("scrub: stopped (no targets remain)");
}

void TransportReader::displayLost()
{
    invalidateAllTargets();
    m_sliders.clear();
    if (++m_reResolveTick < static_cast<std::int64_t>(kTicksPerSecond))
        return;
    m_reResolveTick = 0;
    DisplaySearch search = searchDisplay(m_platform);
    if (!search.group)
        return;
    applySearch(std::move(search));
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

    if (!hasSliderCount(m_sliders)) {
        displayLost();
        return;
    }

    if (m_pollTick % kTicksPerSecond == 0 && m_sliderGroup) {
        std::optional<std::vector<ax::UIElement>> checked = groupCheck(*m_sliderGroup);
        if (!checked) {
            m_sliders.clear();
            displayLost();
            return;
        }
        if (checked->size() != m_sliders.size() || timecode::lcdDisplayMode(*checked) != m_lcdDisplayMode) {
            applySearch(DisplaySearch { m_sliderGroup, std::move(*checked) });
            m_lastSMPTE.clear();
            m_ticksSinceChange = 0;
        }
    }

    if (m_ticksSinceChange >= kIdleAfterUnchangedTicks && m_pollTick % 3 != 0)
        return;

    std::optional<std::string> text = readDisplayText(m_sliders);
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
        std::string cut = firstFourFields(*text);
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

        std::int32_t modeWord = static_cast<std::int32_t>(m_lcdDisplayMode + 1);
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
                m_sliders.clear();
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

    applySearch(searchDisplay(m_platform));

    bool found = hasSliderCount(m_sliders);
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
    m_sliders.clear();
    m_log.info("scrub: stopped (no targets remain)");
}

} // namespace mq
