#include "logic/ColorsWindow.h"

#include "ax/ElementQueries.h"
#include "logic/InputGuard.h"
#include "logic/LogicApplication.h"
#include "logic/LogicWindowWait.h"
#include "logic/MarkerTrack.h"
#include "logic/OperationTrace.h"
#include "logic/ScreenGeometry.h"
#include "logic/ServiceLog.h"
#include "logic/SettlePauses.h"
#include "platform/Dispatch.h"
#include "platform/InputEvents.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace mq::logic {

using platform::CGPoint;
using platform::CGRect;

namespace {

/// How far (points) the grid's frame may be from where the Colors window has it.
constexpr double kGridTolerance = 1.0;
constexpr double kColorsWindowTimeoutSeconds = 1.0;
constexpr double kColorsWindowPollSeconds = 0.05;

std::vector<ax::UIElement> windowsOf(const ax::Application& logic)
{
    return ax::windowsOrNone(logic);
}

bool contains(const std::vector<ax::UIElement>& list, const ax::UIElement& element)
{
    return std::find(list.begin(), list.end(), element) != list.end();
}

std::optional<CGRect> frameOf(const ax::UIElement& window)
{
    return ax::attributeOrNothing<CGRect>(window, ax::Attribute::frame);
}

} // namespace

bool isColorsWindow(const ax::UIElement& window)
{
    std::optional<CGRect> frame = frameOf(window);
    if (!frame)
        return false;
    const CGRect expected = colorGridRect(frame->origin);
    for (const ax::UIElement& child : ax::childrenOrNone(window)) {
        if (!ax::hasRole(child, ax::Role::group))
            continue;
        std::optional<CGRect> grid = frameOf(child);
        if (grid && std::abs(grid->origin.x - expected.origin.x) <= kGridTolerance && std::abs(grid->origin.y - expected.origin.y) <= kGridTolerance
            && std::abs(grid->size.width - expected.size.width) <= kGridTolerance
            && std::abs(grid->size.height - expected.size.height) <= kGridTolerance)
            return true;
    }
    return false;
}

std::optional<ax::UIElement> ensureColorsWindowOpen(LogicDriving& logic, ColorsBatch& batch)
{
    std::optional<ax::Application> application = logicApplicationElement(logic.platform);
    if (!application) {
        serviceLog().error("ensureColorsWindowOpen: Logic not reachable via AX");
        return std::nullopt;
    }
    TraceStep look(logic.trace, "look for the Colors window", StepKind::read);
    std::vector<ax::UIElement> baseline = windowsOf(*application);
    if (batch.colorsWindow) {
        if (contains(baseline, *batch.colorsWindow) && isColorsWindow(*batch.colorsWindow)) {
            look.found("the batch's, still open");
            return batch.colorsWindow;
        }
        batch.colorsWindow.reset();
    }

    // Only a window with the colour grid is taken: an alert, a late dialog or a
    // plug-in's panel that opens meanwhile is left alone.
    bool alreadyOpen = std::any_of(baseline.begin(), baseline.end(), isColorsWindow);
    look.found(alreadyOpen ? "the user's, open" : "not open");
    look.end();
    logic.runStoredAction(kToggleColorsWindowAction);
    TraceStep wait(logic.trace, "wait for the Colors window", StepKind::wait);
    wait.waitedFor("a window of Logic's with the colour grid, at most 1.0 s");
    if (alreadyOpen) {
        // The toggle closed the Colors window the user had open: open it again,
        // and leave it open at the batch's end.
        logic.runStoredAction(kToggleColorsWindowAction);
        batch.colorsWindow = waitForLogicWindow(*application, isColorsWindow, kColorsWindowTimeoutSeconds, kColorsWindowPollSeconds);
        if (!batch.colorsWindow) {
            serviceLog().error("ensureColorsWindowOpen: Colors window did not appear within 1s");
            wait.fail(StepOutcome::timedOut, "no Colors window");
        }
        return batch.colorsWindow;
    }
    auto newColorsWindow = [&](const ax::UIElement& window) { return !contains(baseline, window) && isColorsWindow(window); };
    std::optional<ax::UIElement> opened = waitForLogicWindow(*application, newColorsWindow, kColorsWindowTimeoutSeconds, kColorsWindowPollSeconds);
    if (!opened) {
        serviceLog().error("ensureColorsWindowOpen: Colors window did not appear within 1s");
        wait.fail(StepOutcome::timedOut, "no Colors window");
        return std::nullopt;
    }
    batch.colorsWindowOpenedByHelper = true;
    batch.colorsWindow = opened;
    return opened;
}

CGRect ensureColorGridVisible(LogicDriving& logic, const ax::UIElement& window, CGRect frame, CGRect avoidAppKit)
{
    std::vector<platform::Screen> screens = logic.platform.desktop.screens();
    std::optional<CGRect> visible = visibleFrameForWindow(frame, screens);
    // Without a screen there is nothing to keep the grid on.
    CGRect bounds = visible.value_or(CGRect { { -1e9, -1e9 }, { 2e9, 2e9 } });
    std::optional<CGRect> avoid;
    if (!isNullRect(avoidAppKit))
        avoid = appKitToAccessibility(avoidAppKit, screens);

    GridPlacement placement = placeColorGrid(frame.origin, bounds, avoid);
    if (!placement.clearOfPanel)
        serviceLog().error(
            "ensureColorGridVisible: cannot place Colors grid clear of the progress panel on this screen; colour clicks may be obscured");
    if (placement.origin == frame.origin)
        return frame;
    TraceStep move(logic.trace, "move the Colors window", StepKind::send);
    move.sent(fmt::format("AXPosition ({}, {})", placement.origin.x, placement.origin.y));
    if (auto moved = window.setAttribute(ax::Attribute::position, ax::Value(placement.origin)); !moved) {
        serviceLog().error("ensureColorGridVisible: failed to reposition Colors window: {}", moved.error().description());
        move.fail(StepOutcome::failed, moved.error().description());
        return frame;
    }
    move.end();
    settleFor(logic.trace, "settle: the window moves", settle::kColorsWindowMoveSeconds);
    return frameOf(window).value_or(CGRect { placement.origin, frame.size });
}

void clickAt(LogicDriving& logic, CGPoint point, bool command)
{
    std::uint64_t flags = command ? platform::eventflags::command : 0;
    logic.platform.input.postMouseEvent({ platform::MouseEventType::leftMouseDown, point, flags });
    std::this_thread::sleep_for(std::chrono::microseconds(500));
    logic.platform.input.postMouseEvent({ platform::MouseEventType::leftMouseUp, point, flags });
}

std::optional<std::string> colorSelectedItem(LogicDriving& logic, ColorsBatch& batch, std::int64_t index, bool command, CGRect avoidAppKit)
{
    if (index < 0 || index >= colorgrid::kCellCount) {
        serviceLog().error("colorSelectedItem: cell index {} out of range; skipping colour step", index);
        return std::nullopt;
    }
    std::optional<ax::UIElement> window = ensureColorsWindowOpen(logic, batch);
    std::optional<CGRect> frame = window ? frameOf(*window) : std::nullopt;
    if (!frame) {
        serviceLog().error("colorSelectedItem: Colors window not available; skipping colour step");
        return std::nullopt;
    }
    CGRect placed = ensureColorGridVisible(logic, *window, *frame, avoidAppKit);
    CGPoint point = *colorCellClickPoint(placed.origin, index);

    // A click goes to whatever is topmost at its point, in any application.
    InputGuard guard(logic.platform);
    TraceStep before(logic.trace, "check the cell is in front", StepKind::check);
    if (std::optional<std::string> why = guard.whyPointNotOnWindow(*window, point)) {
        serviceLog().error("colorSelectedItem: {}; no click sent", *why);
        before.fail(StepOutcome::refused, *why);
        return *why + "; no click was sent";
    }
    before.end();
    CGPoint previous = logic.platform.input.cursorPosition();
    logic.platform.input.warpCursor(point);
    settleFor(logic.trace, "settle: the cursor is on the cell", settle::kCursorSettleSeconds);
    TraceStep click(logic.trace, "click the colour cell", StepKind::send);
    click.sent(fmt::format("cell {}{} at ({}, {})", index, command ? " with Command" : "", point.x, point.y));
    std::optional<std::string> why = guard.whyPointNotOnWindow(*window, point);
    if (!why)
        clickAt(logic, point, command);
    else
        click.fail(StepOutcome::refused, *why);
    click.end();
    settleFor(logic.trace, "settle: Logic takes the click", settle::kCursorSettleSeconds);
    logic.platform.input.warpCursor(previous);
    if (why) {
        serviceLog().error("colorSelectedItem: {}; no click sent", *why);
        return *why + "; no click was sent";
    }
    serviceLog().info("colorSelectedItem: clicked Logic colour cell {}{}", index, command ? " (⌘ — track)" : "");
    return std::nullopt;
}

void closeColorsBatch(LogicDriving& logic, ColorsBatch& batch)
{
    restoreMarkerTrackIfNeeded(logic, batch);
    std::optional<ax::UIElement> window = std::exchange(batch.colorsWindow, std::nullopt);
    if (!std::exchange(batch.colorsWindowOpenedByHelper, false))
        return;
    std::optional<ax::Application> application = logicApplicationElement(logic.platform);
    if (application && window && contains(windowsOf(*application), *window)) {
        logic.runStoredAction(kToggleColorsWindowAction);
        settleFor(logic.trace, "settle: the Colors window closes", settle::kHideToggleSeconds);
        serviceLog().info("closeColorsWindow: closed helper-opened Colors window");
    }
}

} // namespace mq::logic
