#include "logic/ExportSavePanel.h"

#include "ax/ElementQueries.h"
#include "logic/LogicApplication.h"
#include "logic/ServiceLog.h"
#include "platform/Dispatch.h"

#include <algorithm>
#include <chrono>

namespace mq::logic {

namespace {

constexpr double kPanelPollIntervalSeconds = 0.1;

bool hasIdentifier(const ax::UIElement& element, std::string_view identifier)
{
    return ax::stringOrNothing(element, ax::Attribute::identifier) == identifier;
}

} // namespace

std::optional<ax::UIElement> findExportSavePanel(platform::Platform& platform)
{
    for (const ax::UIElement& window : logicWindows(platform)) {
        if (hasIdentifier(window, kSavePanelIdentifier))
            return window;
        for (const ax::UIElement& child : ax::childrenOrNone(window))
            if (hasIdentifier(child, kSavePanelIdentifier))
                return child;
    }
    return std::nullopt;
}

std::optional<ax::UIElement> waitForExportSavePanel(platform::Platform& platform, double timeoutSeconds)
{
    using Clock = std::chrono::steady_clock;
    double bounded = timeoutSeconds > 0 ? std::min(timeoutSeconds, 3600.0) : 0.0;
    Clock::time_point deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bounded));
    while (Clock::now() < deadline) {
        if (auto panel = findExportSavePanel(platform))
            return panel;
        sleepForSeconds(kPanelPollIntervalSeconds);
    }
    serviceLog().error("waitForExportSavePanel timed out — Logic windows snapshot: {}", logicWindowsSnapshot(platform));
    return std::nullopt;
}

std::optional<std::string> saveAsName(const ax::UIElement& panel)
{
    for (const ax::UIElement& child : ax::childrenOrNone(panel))
        if (hasIdentifier(child, kSaveAsNameFieldIdentifier))
            return child.attribute<std::string>(ax::Attribute::value).valueOr(std::nullopt);
    return std::nullopt;
}

} // namespace mq::logic
