// All five platform facilities, scripted, for component tests. Scripting and the
// desktop only record what they are asked and answer with what the test set.
#pragma once

#include "platform/Platform.h"
#include "tests/support/ScriptedAccessibility.h"
#include "tests/support/ScriptedInputEvents.h"
#include "tests/support/ScriptedWorkspace.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace mq::test {

class ScriptedScripting final : public platform::Scripting {
public:
    /// One call of determinePermissionToAutomateTarget.
    struct PermissionCheck {
        std::string bundleIdentifier;
        platform::FourCharCode eventClass;
        platform::FourCharCode eventID;
        bool askUserIfNeeded;
    };

    std::vector<std::string> scripts;
    std::vector<platform::AppleEvent> events;
    platform::ScriptResult scriptResult { true, std::nullopt };
    std::int32_t sendStatus { platform::osstatus::noErr };
    /// The answer for targets without an entry in permissionStatusByTarget.
    std::int32_t permissionStatus { platform::osstatus::noErr };
    std::map<std::string, std::int32_t> permissionStatusByTarget;
    /// The answer once the user was asked (askUserIfNeeded with -1744 due), by target;
    /// a target without an entry keeps its answer.
    std::map<std::string, std::int32_t> permissionStatusAfterPrompt;
    std::vector<PermissionCheck> permissionChecks;

    platform::ScriptResult runAppleScript(const std::string& source) override;
    std::int32_t sendAppleEvent(const platform::AppleEvent& event, double timeoutSeconds) override;
    std::int32_t determinePermissionToAutomateTarget(const std::string& bundleIdentifier, platform::FourCharCode eventClass,
        platform::FourCharCode eventID, bool askUserIfNeeded) override;

private:
    std::mutex m_mutex;
};

class ScriptedDesktop final : public platform::Desktop {
public:
    std::optional<platform::CFDictionary> session;
    std::vector<platform::Screen> screenList;
    std::vector<platform::PasteboardItem> pasteboard;

    std::optional<platform::CFDictionary> sessionDictionary() override;
    std::vector<platform::Screen> screens() override;
    std::vector<platform::PasteboardItem> pasteboardItems() override;
    void setPasteboardItems(const std::vector<platform::PasteboardItem>& items) override;

private:
    std::mutex m_mutex;
};

/// The scripted facilities and the Platform made of them.
struct ScriptedPlatform {
    ScriptedPlatform();
    ~ScriptedPlatform();
    ScriptedPlatform(const ScriptedPlatform&) = delete;
    ScriptedPlatform& operator=(const ScriptedPlatform&) = delete;

    ScriptedAccessibility accessibility;
    ScriptedInputEvents input;
    ScriptedScripting scripting;
    ScriptedWorkspace workspace;
    ScriptedDesktop desktop;
    platform::Platform platform;
};

} // namespace mq::test
