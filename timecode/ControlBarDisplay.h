// Logic's control-bar time display, found and read through accessibility.
//
// The display is a group whose children are sliders, one per field: hours,
// minutes, seconds, frames and, in some display settings, a fifth sub-frame field.
// This is the one place that finds it and reads it: the scrub reader, the
// one-shot read of the Logic-driving operations and the control-bar state request
// all go through it.
//
// A group is the display when it has at least 3 AXSlider children and the first of
// them on screen (leftmost) names an hour field. How many fields it shows is a
// property of the display, not a condition for finding it: the helper reads a
// display of 4 or 5 fields, and the control-bar state reports one of 3 as not
// readable.
#pragma once

#include "ax/Application.h"
#include "ax/UIElement.h"
#include "timecode/DisplayMode.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mq::timecode {

class ControlBarDisplay {
public:
    /// The most elements a search examines per root.
    static constexpr std::size_t kSearchBudget = 6000;
    /// The fewest sliders a display group has.
    static constexpr std::size_t kMinimumFields = 3;
    /// The most fields kept: hours, minutes, seconds, frames and a sub-frame field.
    static constexpr std::size_t kMaximumFields = 5;

    /// `group` as the display: its AXSlider children ordered by the x of their
    /// AXPosition, ascending (equal values keep their order; an unreadable position
    /// counts as 0), the first five kept, when there are at least 3 and the first
    /// one's AXDescription names an hour field. Nothing otherwise.
    [[nodiscard]] static std::optional<ControlBarDisplay> fromGroup(const ax::UIElement& group);

    /// The first display below `root` (included), depth first: the most recently
    /// pushed element is examined next, and its children are pushed in their order.
    /// At most kSearchBudget elements are examined. Failed reads count as absent.
    [[nodiscard]] static std::optional<ControlBarDisplay> find(const ax::UIElement& root);

    /// The first display in the windows of `logic` (Logic's application element),
    /// each searched from the window itself; nothing when Logic is not reachable
    /// (no element), its windows cannot be read or show none.
    [[nodiscard]] static std::optional<ControlBarDisplay> locate(const std::optional<ax::Application>& logic);

    const ax::UIElement& group() const { return m_group; }
    /// The field sliders, left to right.
    const std::vector<ax::UIElement>& fields() const { return m_fields; }
    std::size_t fieldCount() const { return m_fields.size(); }

    /// Whether the display shows the time fields that the helper reads: 4 or 5.
    bool isReadable() const { return fieldCount() == 4 || fieldCount() == 5; }

    /// frames for 4 fields; for 5, chosen by the fifth field's description:
    /// quarterFrames, subframes or samples, or unknown (with a debug line on
    /// "helper.scrub") when none matches or it cannot be read; unknown for any
    /// other count.
    DisplayMode mode() const;

    /// The text that the display shows: the AXValueDescriptions of the first four
    /// fields (each required) and of a fifth when, trimmed, it is all digits, joined
    /// with ":" ("01:00:12:07", "01:00:12:07:42"). Nothing when the display is not
    /// readable or one of the first four cannot be read.
    [[nodiscard]] std::optional<std::string> text() const;

    /// The time shown, in seconds at `frameRate`: the first four fields of text()
    /// converted with parseLCDTimecode. Nothing when it cannot be read or converted.
    [[nodiscard]] std::optional<double> seconds(double frameRate) const;

    friend bool operator==(const ControlBarDisplay&, const ControlBarDisplay&) = default;

private:
    ControlBarDisplay(ax::UIElement group, std::vector<ax::UIElement> fields)
        : m_group(std::move(group))
        , m_fields(std::move(fields))
    {
    }

    ax::UIElement m_group;
    std::vector<ax::UIElement> m_fields;
};

/// `text` cut to its first four ":"-separated fields.
std::string firstFourFields(std::string_view text);

} // namespace mq::timecode
