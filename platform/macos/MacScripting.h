// The scripting facility: NSAppleScript in process, FSPathMakeRef, the Apple
// Event Manager's calls one for one, and the Automation permission check.
#pragma once

#include "platform/Scripting.h"

#include <map>
#include <memory>
#include <mutex>

namespace mq::platform::macos {

class MacScripting final : public Scripting {
public:
    MacScripting();
    ~MacScripting() override;

    ScriptResult runAppleScript(const std::string& source) override;
    std::int32_t makeFileReference(const std::string& path, FileReference& out) override;

    std::int32_t createDesc(FourCharCode type, const void* data, std::size_t size, AEDescRef& result) override;
    std::int32_t createAppleEvent(FourCharCode eventClass, FourCharCode eventID, const AEDescRef& target, std::int16_t returnID,
        std::int32_t transactionID, AEDescRef& result) override;
    std::int32_t putParamPtr(const AEDescRef& event, FourCharCode keyword, FourCharCode type, const void* data, std::size_t size) override;
    std::int32_t sendMessage(const AEDescRef& event, AEDescRef& reply, std::int32_t sendMode, std::int64_t timeoutTicks) override;
    std::int32_t disposeDesc(AEDescRef& desc) override;

    std::int32_t determinePermissionToAutomateTarget(const std::string& bundleIdentifier, FourCharCode eventClass,
        FourCharCode eventID, bool askUserIfNeeded) override;

    /// The platform's descriptor behind a seam handle (an AEDesc).
    struct Descriptor;

private:
    std::shared_ptr<Descriptor> find(const AEDescRef& desc);
    AEDescRef keep(std::shared_ptr<Descriptor> descriptor);

    /// NSAppleScript keeps state between compiling and running that is not safe
    /// to share: one script at a time in this process.
    std::mutex m_scriptMutex;
    std::mutex m_descriptorsMutex;
    std::map<std::uint64_t, std::shared_ptr<Descriptor>> m_descriptors;
    std::uint64_t m_nextToken { 1 };
};

} // namespace mq::platform::macos
