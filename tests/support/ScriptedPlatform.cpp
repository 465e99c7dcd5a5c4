#include "tests/support/ScriptedPlatform.h"

#include <algorithm>

namespace mq::test {

platform::ScriptResult ScriptedScripting::runAppleScript(const std::string& source)
{
    std::function<platform::ScriptResult(const std::string&)> handler;
    {
        std::lock_guard lock(m_mutex);
        scripts.push_back(source);
        if (!scriptHandler)
            return scriptResult;
        handler = scriptHandler;
    }
    return handler(source);
}

std::size_t ScriptedScripting::liveDescriptors()
{
    std::lock_guard lock(m_mutex);
    return m_descriptors.size();
}

bool ScriptedScripting::failsNow(const char* name)
{
    calls.push_back(name);
    return failAtCall && m_callsCounted++ == *failAtCall;
}

std::int32_t ScriptedScripting::makeFileReference(const std::string& path, platform::FileReference& out)
{
    std::lock_guard lock(m_mutex);
    if (failsNow("makeFileReference"))
        return failStatus;
    if (auto it = fileReferenceStatusByPath.find(path); it != fileReferenceStatusByPath.end() && it->second != platform::osstatus::noErr)
        return it->second;
    out = {};
    std::copy_n(path.begin(), std::min(path.size(), out.bytes.size()), out.bytes.begin());
    return platform::osstatus::noErr;
}

std::int32_t ScriptedScripting::createDesc(platform::FourCharCode type, const void* data, std::size_t size, platform::AEDescRef& result)
{
    std::lock_guard lock(m_mutex);
    if (failsNow("createDesc"))
        return failStatus;
    result.token = m_nextToken++;
    m_descriptors[result.token] = Descriptor { type, std::string(static_cast<const char*>(data), size), std::nullopt };
    return platform::osstatus::noErr;
}

std::int32_t ScriptedScripting::createAppleEvent(platform::FourCharCode eventClass, platform::FourCharCode eventID,
    const platform::AEDescRef& target, std::int16_t returnID, std::int32_t transactionID, platform::AEDescRef& result)
{
    std::lock_guard lock(m_mutex);
    if (failsNow("createAppleEvent"))
        return failStatus;
    auto it = m_descriptors.find(target.token);
    if (it == m_descriptors.end())
        return platform::osstatus::errAENotAEDesc;
    result.token = m_nextToken++;
    m_descriptors[result.token] = Descriptor { platform::fourCharCode("aevt"), {},
        SentAppleEvent { eventClass, eventID, it->second.type, it->second.bytes, returnID, transactionID, {}, 0, 0 } };
    return platform::osstatus::noErr;
}

std::int32_t ScriptedScripting::putParamPtr(const platform::AEDescRef& event, platform::FourCharCode keyword, platform::FourCharCode type,
    const void* data, std::size_t size)
{
    std::lock_guard lock(m_mutex);
    if (failsNow("putParamPtr"))
        return failStatus;
    auto it = m_descriptors.find(event.token);
    if (it == m_descriptors.end() || !it->second.event)
        return platform::osstatus::errAENotAEDesc;
    it->second.event->parameters.push_back({ keyword, type, std::string(static_cast<const char*>(data), size) });
    return platform::osstatus::noErr;
}

std::int32_t ScriptedScripting::sendMessage(const platform::AEDescRef& event, platform::AEDescRef& reply, std::int32_t sendMode,
    std::int64_t timeoutTicks)
{
    std::lock_guard lock(m_mutex);
    reply = {};
    if (failsNow("sendMessage"))
        return failStatus;
    auto it = m_descriptors.find(event.token);
    if (it == m_descriptors.end() || !it->second.event)
        return platform::osstatus::errAENotAEDesc;
    SentAppleEvent sent = *it->second.event;
    sent.sendMode = sendMode;
    sent.timeoutTicks = timeoutTicks;
    sentEvents.push_back(std::move(sent));
    return sendStatus;
}

std::int32_t ScriptedScripting::disposeDesc(platform::AEDescRef& desc)
{
    std::lock_guard lock(m_mutex);
    calls.push_back("disposeDesc");
    if (!desc.isNull() && !m_descriptors.erase(desc.token))
        return platform::osstatus::errAENotAEDesc;
    desc = {};
    return platform::osstatus::noErr;
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
