#include "tests/support/ScriptedPlatform.h"

namespace mq::test {

platform::ScriptResult ScriptedScripting::runAppleScript(const std::string& source)
{
    std::lock_guard lock(m_mutex);
    scripts.push_back(source);
    return scriptResult;
}

std::int32_t ScriptedScripting::sendAppleEvent(const platform::AppleEvent& event, double)
{
    std::lock_guard lock(m_mutex);
    events.push_back(event);
    return sendStatus;
}

std::int32_t ScriptedScripting::determinePermissionToAutomateTarget(const std::string& bundleIdentifier, platform::FourCharCode eventClass,
    platform::FourCharCode eventID, bool askUserIfNeeded)
{
    std::lock_guard lock(m_mutex);
    permissionChecks.push_back({ bundleIdentifier, eventClass, eventID, askUserIfNeeded });
    auto it = permissionStatusByTarget.find(bundleIdentifier);
    std::int32_t status = it == permissionStatusByTarget.end() ? permissionStatus : it->second;
    if (askUserIfNeeded && status == platform::osstatus::errAEEventWouldRequireUserConsent) {
        if (auto answer = permissionStatusAfterPrompt.find(bundleIdentifier); answer != permissionStatusAfterPrompt.end()) {
            status = answer->second;
            permissionStatusByTarget[bundleIdentifier] = status;
        }
    }
    return status;
}

std::optional<platform::CFDictionary> ScriptedDesktop::sessionDictionary()
{
    std::lock_guard lock(m_mutex);
    return session;
}

std::vector<platform::Screen> ScriptedDesktop::screens()
{
    std::lock_guard lock(m_mutex);
    return screenList;
}

std::vector<platform::PasteboardItem> ScriptedDesktop::pasteboardItems()
{
    std::lock_guard lock(m_mutex);
    return pasteboard;
}

void ScriptedDesktop::setPasteboardItems(const std::vector<platform::PasteboardItem>& items)
{
    std::lock_guard lock(m_mutex);
    pasteboard = items;
}

ScriptedPlatform::ScriptedPlatform()
    : platform { accessibility, input, scripting, workspace, desktop }
{
}

ScriptedPlatform::~ScriptedPlatform() = default;

} // namespace mq::test
