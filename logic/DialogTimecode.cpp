#include "logic/DialogTimecode.h"

#include "ax/ElementQueries.h"
#include "logic/ServiceLog.h"
#include "timecode/TimecodeParsing.h"

#include <cmath>
#include <limits>
#include <vector>

namespace mq::logic {

namespace {

/// The dialog's children with role AXGroup, in order; failed reads count as absent.
std::vector<ax::UIElement> timecodeGroups(const ax::UIElement& dialog)
{
    std::vector<ax::UIElement> groups;
    for (const ax::UIElement& child : ax::childrenOrNone(dialog))
        if (ax::hasRole(child, ax::Role::group))
            groups.push_back(child);
    return groups;
}

} // namespace

std::optional<timecode::TimecodeFields> readTimecodeGroupFields(const ax::UIElement& group)
{
    if (std::optional<std::string> text = ax::stringOrNothing(group, ax::Attribute::value))
        if (std::optional<timecode::TimecodeFields> fields = timecode::parseTimecodeValueText(*text))
            return fields;

    std::vector<ax::UIElement> children = ax::childrenOrNone(group);
    if (children.size() < 4 || children.size() > 5)
        return std::nullopt;
    std::vector<std::string> pieces;
    for (const ax::UIElement& child : children) {
        std::optional<std::string> piece = ax::stringOrNothing(child, ax::Attribute::valueDescription);
        if (!piece)
            return std::nullopt;
        pieces.push_back(std::move(*piece));
    }
    return timecode::parseTimecodeFields(std::span<const std::string>(pieces));
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
