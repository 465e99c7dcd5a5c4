// All five platform facilities, scripted, for component tests. Scripting and the
// desktop only record what they are asked and answer with what the test set.
#pragma once

#include "platform/Platform.h"
#include "tests/support/ScriptedAccessibility.h"
#include "tests/support/ScriptedInputEvents.h"
#include "tests/support/ScriptedWorkspace.h"

#include <functional>
#include <map>
#include <mutex>
#include <optional>
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

    /// One Apple Event as sendMessage received it: the event's descriptors, raw.
    struct SentAppleEvent {
        struct Parameter {
            platform::FourCharCode keyword;
            platform::FourCharCode type;
            std::string bytes;
        };
        platform::FourCharCode eventClass;
        platform::FourCharCode eventID;
        platform::FourCharCode targetType;
        std::string targetBytes;
        std::int16_t returnID;
        std::int32_t transactionID;
        std::vector<Parameter> parameters;
        std::int32_t sendMode;
        std::int64_t timeoutTicks;
    };

    std::vector<std::string> scripts;
    platform::ScriptResult scriptResult { true, std::nullopt };
    /// When set, answers each script instead of scriptResult (after recording it,
    /// outside the lock), so that a test can act out what the script does.
    std::function<platform::ScriptResult(const std::string& source)> scriptHandler;
    /// What sendMessage answers (after recording the event).
    std::int32_t sendStatus { platform::osstatus::noErr };
    std::vector<SentAppleEvent> sentEvents;
    /// What makeFileReference answers for a path; paths without an entry get noErr
    /// and a reference made from the path.
    std::map<std::string, std::int32_t> fileReferenceStatusByPath;
    /// The file and Apple Event calls made, by name ("makeFileReference",
    /// "createDesc", "createAppleEvent", "putParamPtr", "sendMessage",
    /// "disposeDesc"), in order.
    std::vector<std::string> calls;
    /// Makes the call with this index among the calls other than disposeDesc
    /// (0 for the first) answer `failStatus` without doing anything.
    std::optional<std::size_t> failAtCall;
    std::int32_t failStatus { platform::osstatus::memFullErr };
    /// The answer for targets without an entry in permissionStatusByTarget.
    std::int32_t permissionStatus { platform::osstatus::noErr };
    std::map<std::string, std::int32_t> permissionStatusByTarget;
    /// The answer once the user was asked (askUserIfNeeded with -1744 due), by target;
    /// a target without an entry keeps its answer.
    std::map<std::string, std::int32_t> permissionStatusAfterPrompt;
    std::vector<PermissionCheck> permissionChecks;

    /// Descriptors made and not disposed of yet.
    std::size_t liveDescriptors();

    platform::ScriptResult runAppleScript(const std::string& source) override;
    std::int32_t makeFileReference(const std::string& path, platform::FileReference& out) override;
    std::int32_t createDesc(platform::FourCharCode type, const void* data, std::size_t size, platform::AEDescRef& result) override;
    std::int32_t createAppleEvent(platform::FourCharCode eventClass, platform::FourCharCode eventID, const platform::AEDescRef& target,
        std::int16_t returnID, std::int32_t transactionID, platform::AEDescRef& result) override;
    std::int32_t putParamPtr(const platform::AEDescRef& event, platform::FourCharCode keyword, platform::FourCharCode type, const void* data,
        std::size_t size) override;
    std::int32_t sendMessage(const platform::AEDescRef& event, platform::AEDescRef& reply, std::int32_t sendMode,
        std::int64_t timeoutTicks) override;
    std::int32_t disposeDesc(platform::AEDescRef& desc) override;
    std::int32_t determinePermissionToAutomateTarget(const std::string& bundleIdentifier, platform::FourCharCode eventClass,
        platform::FourCharCode eventID, bool askUserIfNeeded) override;

private:
    /// A descriptor: a typed value, or an event with its target and parameters.
    struct Descriptor {
        platform::FourCharCode type;
        std::string bytes;
        std::optional<SentAppleEvent> event;
    };
    /// Counts the call and answers whether it is the one to fail.
    bool failsNow(const char* name);

    std::mutex m_mutex;
    std::map<std::uint64_t, Descriptor> m_descriptors;
    std::uint64_t m_nextToken { 1 };
    std::size_t m_callsCounted { 0 };
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
