#include "logic/MarkerTrack.h"

#include "ax/ElementQueries.h"
#include "logic/ColorsWindow.h"
#include "logic/LogicApplication.h"
#include "logic/OperationTrace.h"
#include "logic/ServiceLog.h"
#include "logic/SettlePauses.h"
#include "logic/TrimmedText.h"
#include "platform/Dispatch.h"

#include <string>

namespace mq::logic {

namespace {

constexpr int kMaxDepth = 10;

// Lower case for ASCII letters; the other names have no case.
std::string lowered(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::optional<ax::UIElement> mainWindowOf(const ax::Application& logic)
{
    if (auto main = ax::attributeOrNothing<ax::UIElement>(logic, ax::Attribute::mainWindow))
        return main;
    if (auto focused = ax::attributeOrNothing<ax::UIElement>(logic, ax::Attribute::focusedWindow))
        return focused;
    auto windows = ax::windowsOrNone(logic);
    for (const ax::UIElement& window : windows)
        if (auto document = ax::stringOrNothing(window, ax::Attribute::document); document && !document->empty())
            return window;
    if (!windows.empty())
        return windows.front();
    return std::nullopt;
}

std::optional<std::string> labelOf(const ax::UIElement& element)
{
    for (ax::Attribute attribute : { ax::Attribute::description, ax::Attribute::title, ax::Attribute::value })
        if (auto text = ax::stringOrNothing(element, attribute); text && !text->empty())
            return text;
    return std::nullopt;
}

std::optional<ax::UIElement> searchPopup(const ax::UIElement& element, int depth)
{
    // The role is read first: only popup buttons have their labels read.
    if (ax::hasRole(element, ax::Role::popUpButton))
        if (auto label = labelOf(element); label && isMarkerTrackLabel(*label))
            return element;
    if (depth >= kMaxDepth)
        return std::nullopt;
    for (const ax::UIElement& child : ax::childrenOrNone(element))
        if (auto found = searchPopup(child, depth + 1))
            return found;
    return std::nullopt;
}

} // namespace

bool isMarkerTrackLabel(std::string_view label)
{
    std::string wanted = lowered(trimmed(label));
    for (std::string_view name : kMarkerTrackPopupNames)
        if (wanted == lowered(name))
            return true;
    return false;
}

std::optional<ax::UIElement> findMarkerTrackPopup(LogicDriving& logic)
{
    std::optional<ax::Application> application = logicApplicationElement(logic.platform);
    std::optional<ax::UIElement> window = application ? mainWindowOf(*application) : std::nullopt;
    if (!window) {
        serviceLog().error("findMarkerTrackPopup: Logic main window not reachable via AX");
        return std::nullopt;
    }
    return searchPopup(*window, 0);
}

void ensureMarkerTrackVisibleForBatch(LogicDriving& logic, ColorsBatch& batch)
{
    if (batch.markerTrackEnsuredThisBatch)
        return;
    batch.markerTrackEnsuredThisBatch = true;
    TraceStep step(logic.trace, "show the marker track", StepKind::group);
    auto find = [&] {
        TraceStep look(logic.trace, "look for the marker track", StepKind::read);
        bool shown = findMarkerTrackPopup(logic).has_value();
        look.found(shown ? "shown" : "hidden, or not found");
        return shown;
    };
    if (find())
        return;
    logic.runStoredAction(kToggleMarkerTrackAction);
    settleFor(logic.trace, "settle: the marker track toggles", settle::kMarkerTrackToggleSeconds);
    if (find()) {
        batch.markerTrackShownByHelper = true;
        serviceLog().info("ensureMarkerTrackVisibleForBatch: marker track was hidden — revealed for this batch");
        return;
    }
    logic.runStoredAction(kToggleMarkerTrackAction);
    settleFor(logic.trace, "settle: the toggle is undone", settle::kHideToggleSeconds);
    serviceLog().error("ensureMarkerTrackVisibleForBatch: marker-track popup not found after toggle; reverted, view left untouched");
}

void restoreMarkerTrackIfNeeded(LogicDriving& logic, ColorsBatch& batch)
{
    batch.markerTrackEnsuredThisBatch = false;
    if (!std::exchange(batch.markerTrackShownByHelper, false))
        return;
    TraceStep step(logic.trace, "hide the marker track", StepKind::group);
    logic.runStoredAction(kToggleMarkerTrackAction);
    settleFor(logic.trace, "settle: the marker track hides", settle::kHideToggleSeconds);
    serviceLog().info("restoreMarkerTrackIfNeeded: hid marker track revealed for this batch");
}

} // namespace mq::logic
