#include "logic/ColorsWindow.h"

#include "logic/LogicApplication.h"
#include "logic/MarkerTrack.h"
#include "logic/ScreenGeometry.h"
#include "logic/ServiceLog.h"
#include "platform/Dispatch.h"
#include "platform/InputEvents.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace mq::logic {

using platform::CGPoint;
using platform::CGRect;

namespace {

using Clock = std::chrono::steady_clock;

std::vector<ax::UIElement> windowsOf(const ax::Application& logic)
{
    return logic.windows().valueOr(std::nullopt).value_or(std::vector<ax::UIElement> {});
}

bool contains(const std::vector<ax::UIElement>& list, const ax::UIElement& element)
{
    return std::find(list.begin(), list.end(), element) != list.end();
}

Clock::time_point deadlineIn(double seconds)
{
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::optional<CGRect> frameOf(const ax::UIElement& window)
{
    return window.attribute<CGRect>(ax::Attribute::frame).valueOr(std::nullopt);
}

} // namespace

std::optional<ax::UIElement> waitForNewLogicWindow(const ax::Application& logic, const std::vector<ax::UIElement>& known,
    double timeoutSeconds)
{
    auto deadline = deadlineIn(std::clamp(timeoutSeconds, 0.0, 60.0));
    while (Clock::now() < deadline) {
        sleepForSeconds(0.05);
        for (const ax::UIElement& window : windowsOf(logic))
            if (!contains(known, window))
                return window;
    }
    return std::nullopt;
}

std::optional<ax::UIElement> ensureColorsWindowOpen(LogicDriving& logic, ColorsBatch& batch)
{
    std::optional<ax::Application> application = logicApplicationElement(logic.platform);
    if (!application) {
        serviceLog().error("ensureColorsWindowOpen: Logic not reachable via AX");
        return std::nullopt;
    }
    if (batch.colorsWindow) {
        if (contains(windowsOf(*application), *batch.colorsWindow))
            return batch.colorsWindow;
        batch.colorsWindow.reset();
    }

    std::vector<ax::UIElement> baseline = windowsOf(*application);
    logic.runStoredAction(kToggleColorsWindowAction);
    auto deadline = deadlineIn(1.0);
    while (true) {
        sleepForSeconds(0.05);
        std::vector<ax::UIElement> current = windowsOf(*application);
        for (const ax::UIElement& window : current) {
            if (!contains(baseline, window)) {
                batch.colorsWindowOpenedByHelper = true;
                batch.colorsWindow = window;
                return window;
            }
        }
        bool oneClosed = std::any_of(baseline.begin(), baseline.end(), [&](const ax::UIElement& w) { return !contains(current, w); });
        if (oneClosed) {
            // The toggle closed a Colors window that was open already: open it again.
            logic.runStoredAction(kToggleColorsWindowAction);
            batch.colorsWindow = waitForNewLogicWindow(*application, baseline, 1.0);
            return batch.colorsWindow;
        }
        if (Clock::now() >= deadline)
            break;
    }
    serviceLog().error("ensureColorsWindowOpen: Colors window did not appear within 1s");
    return std::nullopt;
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
    if (auto moved = window.setAttribute(ax::Attribute::position, ax::Value(placement.origin)); !moved) {
        serviceLog().error("ensureColorGridVisible: failed to reposition Colors window: {}", moved.error().description());
        return frame;
    }
    sleepForSeconds(0.05);
    return frameOf(window).value_or(CGRect { placement.origin, frame.size });
}

void clickAt(LogicDriving& logic, CGPoint point, bool command)
{
    std::uint64_t flags = command ? platform::eventflags::command : 0;
    logic.platform.input.postMouseEvent({ platform::MouseEventType::leftMouseDown, point, flags });
    std::this_thread::sleep_for(std::chrono::microseconds(500));
    logic.platform.input.postMouseEvent({ platform::MouseEventType::leftMouseUp, point, flags });
}

void colorSelectedItem(LogicDriving& logic, ColorsBatch& batch, std::int64_t index, bool command, CGRect avoidAppKit)
{
    if (index < 0 || index >= colorgrid::kCellCount) {
        serviceLog().error("colorSelectedItem: cell index {} out of range; skipping colour step", index);
        return;
    }
    std::optional<ax::UIElement> window = ensureColorsWindowOpen(logic, batch);
    std::optional<CGRect> frame = window ? frameOf(*window) : std::nullopt;
    if (!frame) {
        serviceLog().error("colorSelectedItem: Colors window not available; skipping colour step");
        return;
    }
    CGRect placed = ensureColorGridVisible(logic, *window, *frame, avoidAppKit);
    CGPoint point = *colorCellClickPoint(placed.origin, index);

    CGPoint previous = logic.platform.input.cursorPosition();
    logic.platform.input.warpCursor(point);
    sleepForSeconds(0.05);
    clickAt(logic, point, command);
    sleepForSeconds(0.05);
    logic.platform.input.warpCursor(previous);
    serviceLog().info("colorSelectedItem: clicked Logic colour cell {}{}", index, command ? " (⌘ — track)" : "");
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
        sleepForSeconds(0.1);
        serviceLog().info("closeColorsWindow: closed helper-opened Colors window");
    }
}

} // namespace mq::logic
