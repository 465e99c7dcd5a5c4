#include "logic/DialogTimecode.h"

#include "ax/Role.h"
#include "logic/ServiceLog.h"
#include "timecode/TimecodeParsing.h"

#include <cmath>
#include <limits>
#include <vector>

namespace mq::logic {

namespace {

/// The dialog's children with role AXGroup, in order; reads that throw count as absent.
std::vector<ax::UIElement> timecodeGroups(const ax::UIElement& dialog)
{
    std::optional<std::vector<ax::UIElement>> children;
    try {
        children = dialog.attribute<std::vector<ax::UIElement>>(ax::Attribute::children);
    } catch (const ax::AXError&) {
    }
    std::vector<ax::UIElement> groups;
    for (const ax::UIElement& child : children.value_or(std::vector<ax::UIElement> {})) {
        try {
            if (child.attribute<std::string>(ax::Attribute::role) == ax::rawValue(ax::Role::group))
                groups.push_back(child);
        } catch (const ax::AXError&) {
        }
    }
    return groups;
}

} // namespace

std::optional<timecode::TimecodeFields> readTimecodeGroupFields(const ax::UIElement& group)
{
    try {
        if (std::optional<std::string> text = group.attribute<std::string>(ax::Attribute::value))
            if (std::optional<timecode::TimecodeFields> fields = timecode::parseTimecodeValueText(*text))
                return fields;
    } catch (const ax::AXError&) {
    }

    try {
        std::optional<std::vector<ax::UIElement>> children = group.attribute<std::vector<ax::UIElement>>(ax::Attribute::children);
        if (!children || children->size() < 4 || children->size() > 5)
            return std::nullopt;
        std::vector<std::string> pieces;
        for (const ax::UIElement& child : *children) {
            std::optional<std::string> piece = child.attribute<std::string>(ax::Attribute::valueDescription);
            if (!piece)
                return std::nullopt;
            pieces.push_back(std::move(*piece));
        }
        return timecode::parseTimecodeFields(std::span<const std::string>(pieces));
    } catch (const ax::AXError&) {
        return std::nullopt;
    }
}


std::optional<timecode::TimecodeFields> readDialogTimecodeGroup(const ax::UIElement& dialog, std::size_t index)
{
    std::vector<ax::UIElement> groups = timecodeGroups(dialog);
    if (groups.size() < index + 1)
        return std::nullopt;
    return readTimecodeGroupFields(groups[index]);
}

timecode::TimecodeLayout timecodeLayout(const ax::UIElement& dialog)
{
    for (const ax::UIElement& group : timecodeGroups(dialog))
        if (std::optional<timecode::TimecodeFields> fields = readTimecodeGroupFields(group))
            return fields->layout;
    serviceLog().info("timecodeLayout: no timecode group found — assuming hh:mm:ss:ff");
    return timecode::TimecodeLayout::frames();
}

double measureViewOffset(std::optional<double> controlBarSeconds, const ax::UIElement& dialog, double frameRate)
{
    if (!controlBarSeconds)
        return std::numeric_limits<double>::quiet_NaN();
    std::optional<timecode::TimecodeFields> current = readDialogTimecodeGroup(dialog, 0);
    if (!current)
        return std::numeric_limits<double>::quiet_NaN();

    double dialogSeconds = timecode::fieldsToSeconds(*current, frameRate);
    double offset = *controlBarSeconds - dialogSeconds;
    if (frameRate > 0)
        offset = std::round(offset * frameRate) / frameRate;
    serviceLog().info("measureViewOffset: LCD {:f}s vs dialog-current {:f}s → view offset {:f}s", *controlBarSeconds, dialogSeconds, offset);
    return offset;
}

} // namespace mq::logic
