#include "timecode/ControlBarDisplay.h"

#include "ax/ElementQueries.h"
#include "ax/Value.h"
#include "platform/Log.h"
#include "timecode/LocalizedNames.h"
#include "timecode/TimecodeParsing.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <tuple>
#include <utility>

namespace mq::timecode {

namespace {

const log::Logger& scrubLog()
{
    static const log::Logger logger { "helper.scrub" };
    return logger;
}

/// Element summaries read during one search and not used yet. The group check
/// reads each child of a group once; a child that the search then examines is
/// taken from here instead of being read again.
struct ElementRefLess {
    bool operator()(const platform::AXElementRef& a, const platform::AXElementRef& b) const
    {
        return std::tie(a.pid, a.token, a.isSystemWide) < std::tie(b.pid, b.token, b.isSystemWide);
    }
};
using SummaryCache = std::map<platform::AXElementRef, ax::ElementSummary, ElementRefLess>;

const ax::ElementSummary& summaryIn(SummaryCache& cache, const ax::UIElement& element)
{
    auto found = cache.find(element.element());
    if (found == cache.end())
        found = cache.emplace(element.element(), ax::summaryOrNothing(element)).first;
    return found->second;
}

ax::ElementSummary takeSummary(SummaryCache& cache, const ax::UIElement& element)
{
    auto found = cache.find(element.element());
    if (found == cache.end())
        return ax::summaryOrNothing(element);
    ax::ElementSummary summary = std::move(found->second);
    cache.erase(found);
    return summary;
}

/// The group check over `children` of a group: its AXSlider children ordered by
/// the x of their AXPosition, ascending, keeping the order of equal values (a
/// position that cannot be read counts as x = 0), the first five kept, when there
/// are at least kMinimumFields and the first one's AXDescription names an hour field.
std::optional<std::vector<ax::UIElement>> displayFields(const std::vector<ax::UIElement>& children, SummaryCache& cache)
{
    struct Slider {
        double x;
        std::optional<std::string> description;
        ax::UIElement element;
    };
    std::vector<Slider> sliders;
    for (const ax::UIElement& child : children) {
        const ax::ElementSummary& summary = summaryIn(cache, child);
        if (summary.role == ax::rawValue(ax::Role::slider))
            sliders.push_back({ summary.position ? summary.position->x : 0.0, summary.description, child });
    }
    if (sliders.size() < ControlBarDisplay::kMinimumFields)
        return std::nullopt;
    std::stable_sort(sliders.begin(), sliders.end(), [](const Slider& a, const Slider& b) { return a.x < b.x; });
    if (sliders.size() > ControlBarDisplay::kMaximumFields)
        sliders.erase(sliders.begin() + ControlBarDisplay::kMaximumFields, sliders.end());
    if (!isHourFieldDescription(sliders.front().description.value_or("")))
        return std::nullopt;
    std::vector<ax::UIElement> fields;
    fields.reserve(sliders.size());
    for (Slider& slider : sliders)
        fields.push_back(std::move(slider.element));
    return fields;
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
    SummaryCache cache;
    std::optional<std::vector<ax::UIElement>> fields = displayFields(ax::childrenOrNone(group), cache);
    if (!fields)
        return std::nullopt;
    return ControlBarDisplay(group, std::move(*fields));
}

// Each examined element costs one multiple-attribute read (role, children and,
// for the group check of its parent, position and description), and a child
// read by its parent's group check is not read again when it is examined.
std::optional<ControlBarDisplay> ControlBarDisplay::find(const ax::UIElement& root)
{
    SummaryCache cache;
    std::vector<ax::UIElement> stack { root };
    std::size_t examined = 0;
    while (!stack.empty() && examined < kSearchBudget) {
        ax::UIElement element = stack.back();
        stack.pop_back();
        ++examined;
        ax::ElementSummary summary = takeSummary(cache, element);
        if (summary.role == ax::rawValue(ax::Role::group))
            if (std::optional<std::vector<ax::UIElement>> fields = displayFields(summary.children, cache))
                return ControlBarDisplay(element, std::move(*fields));
        stack.insert(stack.end(), summary.children.begin(), summary.children.end());
    }
    return std::nullopt;
}

std::optional<ControlBarDisplay> ControlBarDisplay::locate(const std::optional<ax::Application>& logic)
{
    if (!logic)
        return std::nullopt;
    for (const ax::UIElement& window : logic->windows().valueOr(std::nullopt).value_or(std::vector<ax::UIElement> {}))
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
