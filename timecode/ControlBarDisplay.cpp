#include "timecode/ControlBarDisplay.h"

#include "ax/ReadOrNothing.h"

#include "logic/LogicApplication.h"
#include "platform/Log.h"
#include "timecode/TimecodeParsing.h"

#include <algorithm>
#include <utility>

namespace mq::timecode {

namespace {

const log::Logger& scrubLog()
{
    static const log::Logger logger { "helper.scrub" };
    return logger;
}

/// Decodes one UTF-8 sequence at `index`; nothing for a malformed one.
std::optional<std::pair<char32_t, std::size_t>> decode(std::string_view text, std::size_t index)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(index);
    if (lead < 0x80)
        return std::pair { char32_t(lead), std::size_t(1) };
    std::size_t length = (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || index + length > text.size())
        return std::nullopt;
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(index + i) & 0xC0) != 0x80)
            return std::nullopt;
        code = (code << 6) | (byte(index + i) & 0x3F);
    }
    return std::pair { code, length };
}

void encode(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

char32_t lowercase(char32_t code)
{
    if (code >= U'A' && code <= U'Z')
        return code + 0x20;
    if (code >= 0xC0 && code <= 0xDE && code != 0xD7)
        return code + 0x20;
    if (code == 0x130)
        return U'i';
    if (code == 0x178)
        return 0xFF;
    bool evenUpper = (code >= 0x100 && code <= 0x12F) || (code >= 0x132 && code <= 0x137) || (code >= 0x14A && code <= 0x177);
    bool oddUpper = (code >= 0x139 && code <= 0x148) || (code >= 0x179 && code <= 0x17E);
    if ((evenUpper && code % 2 == 0) || (oddUpper && code % 2 == 1))
        return code + 1;
    return code;
}

template<std::size_t N>
std::vector<std::string> lowerAll(const std::array<std::string_view, N>& entries)
{
    std::vector<std::string> lowered;
    lowered.reserve(N);
    for (std::string_view entry : entries)
        lowered.push_back(lowercased(entry));
    return lowered;
}

bool hasRole(const ax::UIElement& element, std::string_view role)
{
    std::optional<std::string> read = readString(element, ax::Attribute::role);
    return read && *read == role;
}

} // namespace

std::string lowercased(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t index = 0; index < text.size();) {
        std::optional<std::pair<char32_t, std::size_t>> decoded = decode(text, index);
        if (!decoded) {
            out.push_back(text[index++]);
            continue;
        }
        encode(out, lowercase(decoded->first));
        index += decoded->second;
    }
    return out;
}

bool containsAny(std::string_view text, std::span<const std::string> loweredEntries)
{
    std::string lowered = lowercased(text);
    return std::any_of(loweredEntries.begin(), loweredEntries.end(),
        [&](const std::string& entry) { return lowered.find(entry) != std::string::npos; });
}

// Function-local statics are initialised once, thread-safely, on first use.
std::span<const std::string> loweredHourNames()
{
    static const std::vector<std::string> lowered = lowerAll(words::hourNames);
    return lowered;
}

std::span<const std::string> loweredControlBarNames()
{
    static const std::vector<std::string> lowered = lowerAll(words::controlBarNames);
    return lowered;
}

std::span<const std::string> loweredSecondFractionNames()
{
    static const std::vector<std::string> lowered = lowerAll(words::secondFractionNames);
    return lowered;
}

std::span<const std::string> loweredControlBarStateSampleNames()
{
    static const std::vector<std::string> lowered = lowerAll(words::controlBarStateSampleNames);
    return lowered;
}

bool isHourFieldDescription(std::string_view description)
{
    return containsAny(description, loweredHourNames());
}

std::optional<std::string> readString(const ax::UIElement& element, ax::Attribute attribute)
{
    return ax::readOrNothing<std::string>(element, attribute);
}

std::vector<ax::UIElement> readChildren(const ax::UIElement& element)
{
    return ax::readOrNothing<std::vector<ax::UIElement>>(element, ax::Attribute::children).value_or(std::vector<ax::UIElement> {});
}

std::vector<ax::UIElement> sliderChildren(const ax::UIElement& group)
{
    std::vector<ax::UIElement> sliders;
    for (const ax::UIElement& child : readChildren(group))
        if (hasRole(child, "AXSlider"))
            sliders.push_back(child);
    return sliders;
}

void sortByScreenX(std::vector<ax::UIElement>& sliders)
{
    std::vector<std::pair<double, ax::UIElement>> keyed;
    keyed.reserve(sliders.size());
    for (const ax::UIElement& slider : sliders) {
        std::optional<platform::CGPoint> position = ax::readOrNothing<platform::CGPoint>(slider, ax::Attribute::position);
        keyed.emplace_back(position ? position->x : 0.0, slider);
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < keyed.size(); ++i)
        sliders[i] = keyed[i].second;
}

bool isControlBarGroup(const ax::UIElement& element)
{
    for (ax::Attribute attribute : { ax::Attribute::description, ax::Attribute::title, ax::Attribute::help }) {
        std::optional<std::string> text = readString(element, attribute);
        if (text && containsAny(*text, loweredControlBarNames()))
            return true;
    }
    return false;
}

std::optional<std::vector<ax::UIElement>> findSMPTESliders(const ax::UIElement& root)
{
    std::vector<ax::UIElement> stack { root };
    std::size_t examined = 0;
    while (!stack.empty() && examined < kDisplaySearchBudget) {
        ax::UIElement element = stack.back();
        stack.pop_back();
        ++examined;
        std::vector<ax::UIElement> children = readChildren(element);
        if (hasRole(element, "AXGroup")) {
            std::vector<ax::UIElement> sliders;
            for (const ax::UIElement& child : children)
                if (hasRole(child, "AXSlider"))
                    sliders.push_back(child);
            if (sliders.size() >= 3) {
                sortByScreenX(sliders);
                if (isHourFieldDescription(readString(sliders.front(), ax::Attribute::description).value_or("")))
                    return sliders;
            }
        }
        stack.insert(stack.end(), children.begin(), children.end());
    }
    return std::nullopt;
}

std::int64_t lcdDisplayMode(std::span<const ax::UIElement> sliders)
{
    if (sliders.size() == 4)
        return displaymode::frames;
    if (sliders.size() != 5)
        return displaymode::unknown;
    std::optional<std::string> description = readString(sliders[4], ax::Attribute::description);
    if (!description)
        return displaymode::unknown;
    // These three lists are short and read rarely; they are lower-cased at each use.
    if (containsAny(*description, lowerAll(words::quarterFrameNames)))
        return displaymode::quarterFrames;
    if (containsAny(*description, lowerAll(words::subframeNames)))
        return displaymode::subframes;
    if (containsAny(*description, lowerAll(words::displayModeSampleNames)))
        return displaymode::samples;
    scrubLog().debug("scrub: unrecognised LCD sub-frame field '{}' — display mode unknown", *description);
    return displaymode::unknown;
}

std::optional<std::string> lcdText(std::span<const ax::UIElement> sliders)
{
    if (sliders.size() != 4 && sliders.size() != 5)
        return std::nullopt;
    std::string text;
    for (std::size_t i = 0; i < 4; ++i) {
        std::optional<std::string> value = readString(sliders[i], ax::Attribute::valueDescription);
        if (!value)
            return std::nullopt;
        if (i > 0)
            text += ':';
        text += *value;
    }
    return text;
}

std::optional<double> lcdSeconds(std::span<const ax::UIElement> sliders, double frameRate)
{
    std::optional<std::string> text = lcdText(sliders);
    if (!text)
        return std::nullopt;
    return parseLCDTimecode(*text, frameRate);
}

std::int64_t evaluateControlBarState(platform::Platform& platform)
{
    std::optional<ax::Application> application = logic::logicApplicationElement(platform);
    if (!application)
        return controlbarstate::logicNotReachable;
    std::vector<ax::UIElement> windows;
    try {
        windows = application->windows().value_or(std::vector<ax::UIElement> {});
    } catch (const ax::AXError&) {
    }

    // First pass: each window's control bar, the first child group that is one.
    std::vector<std::optional<ax::UIElement>> controlBars;
    bool foundControlBar = false;
    for (const ax::UIElement& window : windows) {
        std::optional<ax::UIElement> bar;
        for (const ax::UIElement& child : readChildren(window)) {
            if (hasRole(child, "AXGroup") && isControlBarGroup(child)) {
                bar = child;
                break;
            }
        }
        foundControlBar = foundControlBar || bar.has_value();
        controlBars.push_back(bar);
    }

    // Second pass: the display, searched in the control bar or else the whole window.
    std::optional<std::vector<ax::UIElement>> display;
    for (std::size_t i = 0; i < windows.size() && !display; ++i)
        display = findSMPTESliders(controlBars[i].value_or(windows[i]));

    if (!display)
        return foundControlBar ? controlbarstate::noTimeDisplay : controlbarstate::noControlBar;
    if (display->size() < 4)
        return controlbarstate::notFrames;
    std::string fourth = readString((*display)[3], ax::Attribute::description).value_or("");
    if (!fourth.empty()
        && (containsAny(fourth, loweredSecondFractionNames()) || containsAny(fourth, loweredControlBarStateSampleNames())))
        return controlbarstate::notFrames;
    return controlbarstate::readable;
}

} // namespace mq::timecode
