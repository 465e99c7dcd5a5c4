#include "logic/ExportSavePanel.h"

#include "ax/ElementQueries.h"
#include "logic/LogicApplication.h"
#include "logic/LogicWindowWait.h"
#include "logic/ServiceLog.h"

namespace mq::logic {

namespace {

constexpr double kPanelPollIntervalSeconds = 0.1;

bool hasIdentifier(const ax::UIElement& element, std::string_view identifier)
{
    return ax::stringOrNothing(element, ax::Attribute::identifier) == identifier;
}

/// The save panel when it is `window` or one of its children (a sheet).
std::optional<ax::UIElement> savePanelIn(const ax::UIElement& window)
{
    if (hasIdentifier(window, kSavePanelIdentifier))
        return window;
    for (const ax::UIElement& child : ax::childrenOrNone(window))
        if (hasIdentifier(child, kSavePanelIdentifier))
            return child;
    return std::nullopt;
}

} // namespace

std::optional<ax::UIElement> findExportSavePanel(platform::Platform& platform)
{
    for (const ax::UIElement& window : logicWindows(platform))
        if (std::optional<ax::UIElement> panel = savePanelIn(window))
            return panel;
    return std::nullopt;
}

std::optional<ax::UIElement> waitForExportSavePanel(platform::Platform& platform, double timeoutSeconds)
{
    if (std::optional<ax::Application> application = logicApplicationElement(platform)) {
        auto hasPanel = [](const ax::UIElement& window) { return savePanelIn(window).has_value(); };
        if (std::optional<ax::UIElement> window = waitForLogicWindow(*application, hasPanel, timeoutSeconds, kPanelPollIntervalSeconds))
            if (std::optional<ax::UIElement> panel = savePanelIn(*window))
                return panel;
    }
    serviceLog().error("waitForExportSavePanel timed out — Logic windows snapshot: {}", logicWindowsSnapshot(platform));
    return std::nullopt;
}

std::optional<std::string> saveAsName(const ax::UIElement& panel)
{
    for (const ax::UIElement& child : ax::childrenOrNone(panel))
        if (hasIdentifier(child, kSaveAsNameFieldIdentifier))
            return ax::attributeOrNothing<std::string>(child, ax::Attribute::value);
    return std::nullopt;
}

} // namespace mq::logic
