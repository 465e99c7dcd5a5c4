#include "timecode/ControlBarDisplay.h"

#include "ax/ElementQueries.h"
#include "ax/Value.h"
#include "logic/LogicApplication.h"
#include "platform/Log.h"
#include "timecode/LocalizedNames.h"
#include "timecode/TimecodeParsing.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace mq::timecode {

namespace {

const log::Logger& scrubLog()
{
    static const log::Logger logger { "helper.scrub" };
    return logger;
}

/// Orders `sliders` by the x of their AXPosition, ascending, keeping the order of
/// equal values; a position that cannot be read counts as x = 0.
void sortByScreenX(std::vector<ax::UIElement>& sliders)
{
    std::vector<std::pair<double, ax::UIElement>> keyed;
    keyed.reserve(sliders.size());
    for (const ax::UIElement& slider : sliders) {
        std::optional<platform::CGPoint> position = slider.attribute<platform::CGPoint>(ax::Attribute::position).valueOr(std::nullopt);
        keyed.emplace_back(position ? position->x : 0.0, slider);
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < keyed.size(); ++i)
        sliders[i] = keyed[i].second;
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

std::optional<ControlBarDisplay> ControlBarDisplay::fromGroup(const ax::UIElement& group)
{
    std::vector<ax::UIElement> sliders;
    for (const ax::UIElement& child : ax::childrenOrNone(group))
        if (ax::hasRole(child, ax::Role::slider))
            sliders.push_back(child);
    if (sliders.size() < kMinimumFields)
        return std::nullopt;
    sortByScreenX(sliders);
    if (sliders.size() > kMaximumFields)
        sliders.erase(sliders.begin() + kMaximumFields, sliders.end());
    if (!isHourFieldDescription(ax::stringOrNothing(sliders.front(), ax::Attribute::description).value_or("")))
        return std::nullopt;
    return ControlBarDisplay(group, std::move(sliders));
}

std::optional<ControlBarDisplay> ControlBarDisplay::find(const ax::UIElement& root)
{
    std::vector<ax::UIElement> stack { root };
    std::size_t examined = 0;
    while (!stack.empty() && examined < kSearchBudget) {
        ax::UIElement element = stack.back();
        stack.pop_back();
        ++examined;
        if (ax::hasRole(element, ax::Role::group))
            if (std::optional<ControlBarDisplay> display = fromGroup(element))
                return display;
        std::vector<ax::UIElement> children = ax::childrenOrNone(element);
        stack.insert(stack.end(), children.begin(), children.end());
    }
    return std::nullopt;
}

std::optional<ControlBarDisplay> ControlBarDisplay::locate(platform::Platform& platform)
{
    for (const ax::UIElement& window : logic::logicWindows(platform))
        if (std::optional<ControlBarDisplay> display = find(window))
            return display;
    return std::nullopt;
}

DisplayMode ControlBarDisplay::mode() const
{
    if (fieldCount() == 4)
        return DisplayMode::frames;
    if (fieldCount() != 5)
        return DisplayMode::unknown;
    std::optional<std::string> description = ax::stringOrNothing(m_fields[4], ax::Attribute::description);
    if (!description)
        return DisplayMode::unknown;
    if (containsAnyOf(*description, words::quarterFrameNames))
        return DisplayMode::quarterFrames;
    if (containsAnyOf(*description, words::subframeNames))
        return DisplayMode::subframes;
    if (containsAnyOf(*description, words::displayModeSampleNames))
        return DisplayMode::samples;
    scrubLog().debug("scrub: unrecognised LCD sub-frame field '{}' — display mode unknown", *description);
    return DisplayMode::unknown;
}

std::optional<std::string> ControlBarDisplay::text() const
{
    if (!isReadable())
        return std::nullopt;
    std::string text;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        std::optional<std::string> value = ax::stringOrNothing(m_fields[i], ax::Attribute::valueDescription);
        if (i < 4) {
            if (!value)
                return std::nullopt;
        } else {
            // The sub-frame field is shown only when it reads as a number.
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

std::optional<double> ControlBarDisplay::seconds(double frameRate) const
{
    std::optional<std::string> shown = text();
    if (!shown)
        return std::nullopt;
    return parseLCDTimecode(firstFourFields(*shown), frameRate);
}

std::string firstFourFields(std::string_view text)
{
    int separators = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == ':' && ++separators == 4)
            return std::string(text.substr(0, i));
    return std::string(text);
}

} // namespace mq::timecode
