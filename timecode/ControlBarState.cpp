#include "timecode/ControlBarState.h"

#include "ax/ElementQueries.h"
#include "ax/Value.h"
#include "timecode/ControlBarDisplay.h"
#include "timecode/LocalizedNames.h"

#include <optional>
#include <vector>

namespace mq::timecode {

bool isControlBarGroup(const ax::UIElement& element)
{
    for (ax::Attribute attribute : { ax::Attribute::description, ax::Attribute::title, ax::Attribute::help }) {
        std::optional<std::string> text = ax::stringOrNothing(element, attribute);
        if (text && containsAny(*text, loweredControlBarNames()))
            return true;
    }
    return false;
}

std::int64_t evaluateControlBarState(const std::optional<ax::Application>& logic)
{
    if (!logic)
        return controlbarstate::logicNotReachable;
    std::vector<ax::UIElement> windows = ax::windowsOrNone(*logic);

    // First pass: each window's control bar, the first child group that is one.
    std::vector<std::optional<ax::UIElement>> controlBars;
    bool foundControlBar = false;
    for (const ax::UIElement& window : windows) {
        std::optional<ax::UIElement> bar;
        for (const ax::UIElement& child : ax::childrenOrNone(window)) {
            if (ax::hasRole(child, ax::Role::group) && isControlBarGroup(child)) {
                bar = child;
                break;
            }
        }
        foundControlBar = foundControlBar || bar.has_value();
        controlBars.push_back(bar);
    }

    // Second pass: the display, searched in the control bar or else the whole window.
    std::optional<ControlBarDisplay> display;
    for (std::size_t i = 0; i < windows.size() && !display; ++i)
        display = ControlBarDisplay::find(controlBars[i].value_or(windows[i]));

    if (!display)
        return foundControlBar ? controlbarstate::noTimeDisplay : controlbarstate::noControlBar;
    if (display->fieldCount() < 4)
        return controlbarstate::notFrames;
    std::string fourth = ax::stringOrNothing(display->fields()[3], ax::Attribute::description).value_or("");
    if (!fourth.empty()
        && (containsAny(fourth, loweredSecondFractionNames()) || containsAny(fourth, loweredControlBarStateSampleNames())))
        return controlbarstate::notFrames;
    return controlbarstate::readable;
}

} // namespace mq::timecode
