#include "logic/SpotOutcome.h"

#include "ax/ElementQueries.h"
#include "logic/LogicApplication.h"
#include "logic/ServiceLog.h"
#include "platform/Dispatch.h"

#include <algorithm>
#include <chrono>

namespace mq::logic {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kPollSeconds = 0.05;

Clock::time_point deadlineAfter(double seconds)
{
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::max(seconds, 0.0)));
}

/// The layout items directly under `area` and under its lanes; nothing when a read fails.
std::optional<std::size_t> countItems(const ax::UIElement& area)
{
    auto lanes = area.arrayAttribute<ax::UIElement>(ax::Attribute::children);
    if (!lanes)
        return std::nullopt;
    std::size_t count = 0;
    for (const ax::UIElement& child : lanes->value_or(std::vector<ax::UIElement> {})) {
        if (ax::hasRole(child, ax::Role::layoutItem)) {
            ++count;
        } else if (ax::hasRole(child, ax::Role::group)) {
            auto items = child.arrayAttribute<ax::UIElement>(ax::Attribute::children);
            if (!items)
                return std::nullopt;
            for (const ax::UIElement& item : items->value_or(std::vector<ax::UIElement> {}))
                count += ax::hasRole(item, ax::Role::layoutItem) ? 1 : 0;
        }
    }
    return count;
}

/// The first static text's value inside `window` (an alert's message).
std::string alertText(const ax::UIElement& window)
{
    for (const ax::UIElement& child : ax::childrenOrNone(window))
        if (ax::hasRole(child, ax::Role::staticText))
            if (auto text = ax::stringOrNothing(child, ax::Attribute::value); text && !text->empty())
                return *text;
    return ax::stringOrNothing(window, ax::Attribute::title).value_or("");
}

/// Presses the alert's default button (else its first button), so that the next
/// request does not meet it.
void dismissAlert(const ax::UIElement& window)
{
    auto button = ax::attributeOrNothing<ax::UIElement>(window, ax::Attribute::defaultButton);
    if (!button)
        for (const ax::UIElement& child : ax::childrenOrNone(window))
            if (!button && ax::hasRole(child, ax::Role::button))
                button = child;
    if (!button || !button->performAction(ax::Action::press))
        serviceLog().error("placeAudioFile: could not dismiss Logic's alert");
}

/// A modal window of Logic's that the baseline did not have.
std::optional<ax::UIElement> newModalWindow(platform::Platform& platform, const std::vector<ax::UIElement>& baseline)
{
    for (const ax::UIElement& window : logicWindows(platform))
        if (std::find(baseline.begin(), baseline.end(), window) == baseline.end()
            && ax::attributeOrNothing<bool>(window, ax::Attribute::modal) == true)
            return window;
    return std::nullopt;
}

} // namespace

std::optional<std::size_t> countPlacedRegions(platform::Platform& platform)
{
    std::optional<ax::Application> logic = logicApplicationElement(platform);
    if (!logic)
        return std::nullopt;
    auto window = logic->attribute<ax::UIElement>(ax::Attribute::mainWindow);
    if (!window || !*window)
        return std::nullopt;
    auto children = (*window)->arrayAttribute<ax::UIElement>(ax::Attribute::children);
    if (!children)
        return std::nullopt;
    std::size_t count = 0;
    for (const ax::UIElement& child : children->value_or(std::vector<ax::UIElement> {})) {
        if (!ax::hasRole(child, ax::Role::layoutArea))
            continue;
        std::optional<std::size_t> items = countItems(child);
        if (!items)
            return std::nullopt;
        count += *items;
    }
    return count;
}

SpotBaseline takeSpotBaseline(platform::Platform& platform, double timeoutSeconds)
{
    const Clock::time_point deadline = deadlineAfter(timeoutSeconds);
    SpotBaseline baseline;
    while (!(baseline.regions = countPlacedRegions(platform)) && Clock::now() < deadline)
        sleepForSeconds(kPollSeconds);
    baseline.windows = logicWindows(platform);
    return baseline;
}

SpotOutcome awaitSpotOutcome(platform::Platform& platform, const SpotBaseline& baseline, double timeoutSeconds)
{
    if (!baseline.regions)
        return SpotOutcome { true, {} };
    const Clock::time_point deadline = deadlineAfter(timeoutSeconds);
    for (;;) {
        if (std::optional<std::size_t> regions = countPlacedRegions(platform); regions && *regions > *baseline.regions)
            return SpotOutcome { true, {} };
        if (std::optional<ax::UIElement> alert = newModalWindow(platform, baseline.windows)) {
            std::string text = alertText(*alert);
            dismissAlert(*alert);
            return SpotOutcome { false, "Logic: " + (text.empty() ? std::string("an alert") : text) };
        }
        if (Clock::now() >= deadline)
            return SpotOutcome { false, "no region within " + std::to_string(static_cast<int>(timeoutSeconds)) + " s" };
        sleepForSeconds(kPollSeconds);
    }
}

} // namespace mq::logic
