// The Linux backend of the platform seam: every facility is answered by
// logicsim over its socket ($XDG_RUNTIME_DIR/logicsim.sock). Thread-safe; calls
// from different threads proceed independently. Accessibility calls are bounded
// by the element's messaging time-out; the other facilities by fixed bounds.
#pragma once

#include "platform/Platform.h"

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace mq::platform {

class LogicSimConnection;

struct LogicSimOptions {
    /// Where logicsim listens; by default $XDG_RUNTIME_DIR/logicsim.sock.
    std::optional<std::string> socketPath;
    /// Bound for workspace, desktop, cursor and permission queries.
    std::chrono::milliseconds desktopTimeout { 2000 };
    /// Bound for running one script (AppleScript's own default is far longer).
    std::chrono::milliseconds scriptTimeout { 30000 };
    /// Bound for a permission check that shows the user a prompt: the system waits
    /// for the answer, so this only keeps a vanished answer from blocking forever.
    std::chrono::milliseconds promptTimeout { 600000 };
};

class LogicSimPlatform final : public Accessibility, public InputEvents, public Scripting, public Workspace, public Desktop {
public:
    explicit LogicSimPlatform(LogicSimOptions options = {});
    ~LogicSimPlatform() override;
    LogicSimPlatform(const LogicSimPlatform&) = delete;
    LogicSimPlatform& operator=(const LogicSimPlatform&) = delete;

    Platform platform() { return Platform { *this, *this, *this, *this, *this }; }

    // Accessibility.
    AXElementRef createApplication(pid_type pid) override;
    AXElementRef createSystemWide() override;
    AXErrorCode copyAttributeNames(const AXElementRef& element, CFArray& names) override;
    AXErrorCode copyAttributeValue(const AXElementRef& element, std::string_view attribute, CFValue& value) override;
    AXErrorCode copyAttributeValues(const AXElementRef& element, std::string_view attribute, std::int64_t index, std::int64_t maxValues,
        CFArray& values) override;
    AXErrorCode getAttributeValueCount(const AXElementRef& element, std::string_view attribute, std::int64_t& count) override;
    AXErrorCode copyMultipleAttributeValues(const AXElementRef& element, const std::vector<std::string>& attributes, std::uint32_t options,
        CFArray& values) override;
    AXErrorCode isAttributeSettable(const AXElementRef& element, std::string_view attribute, bool& settable) override;
    AXErrorCode setAttributeValue(const AXElementRef& element, std::string_view attribute, const CFValue& value) override;
    AXErrorCode copyParameterizedAttributeNames(const AXElementRef& element, CFArray& names) override;
    AXErrorCode copyParameterizedAttributeValue(const AXElementRef& element, std::string_view attribute, const CFValue& parameter,
        CFValue& value) override;
    AXErrorCode copyActionNames(const AXElementRef& element, CFArray& names) override;
    AXErrorCode copyActionDescription(const AXElementRef& element, std::string_view action, std::string& description) override;
    AXErrorCode performAction(const AXElementRef& element, std::string_view action) override;
    AXErrorCode getPid(const AXElementRef& element, pid_type& pid) override;
    AXErrorCode copyElementAtPosition(const AXElementRef& application, float x, float y, AXElementRef& element) override;
    AXErrorCode setMessagingTimeout(const AXElementRef& element, float seconds) override;
    bool isProcessTrustedWithOptions(bool prompt) override;
    AXErrorCode observerCreate(pid_type pid, AXObserverCallback callback, AXObserverRef& observer) override;
    AXErrorCode observerAddNotification(AXObserverRef observer, const AXElementRef& element, std::string_view notification) override;
    AXErrorCode observerRemoveNotification(AXObserverRef observer, const AXElementRef& element, std::string_view notification) override;
    void observerSchedule(AXObserverRef observer, DispatchQueue* queue) override;
    void observerRelease(AXObserverRef observer) override;

    // Input events.
    void postKeyboardEvent(const KeyboardEvent& event) override;
    void postMouseEvent(const MouseEvent& event) override;
    CGPoint cursorPosition() override;
    void warpCursor(CGPoint location) override;

    // Scripting.
    ScriptResult runAppleScript(const std::string& source) override;
    std::int32_t makeFileReference(const std::string& path, FileReference& out) override;
    std::int32_t createDesc(FourCharCode type, const void* data, std::size_t size, AEDescRef& result) override;
    std::int32_t createAppleEvent(FourCharCode eventClass, FourCharCode eventID, const AEDescRef& target, std::int16_t returnID,
        std::int32_t transactionID, AEDescRef& result) override;
    std::int32_t putParamPtr(const AEDescRef& event, FourCharCode keyword, FourCharCode type, const void* data, std::size_t size) override;
    std::int32_t sendMessage(const AEDescRef& event, AEDescRef& reply, std::int32_t sendMode, std::int64_t timeoutTicks) override;
    std::int32_t disposeDesc(AEDescRef& desc) override;
    std::int32_t determinePermissionToAutomateTarget(const std::string& bundleIdentifier, FourCharCode eventClass, FourCharCode eventID,
        bool askUserIfNeeded) override;

    // Workspace.
    std::vector<RunningApplication> runningApplications() override;
    bool openURL(const URL& url) override;
    std::optional<URL> urlForApplication(const std::string& bundleIdentifier) override;
    bool launchApplication(const URL& applicationURL) override;
    bool openApplication(const URL& applicationURL, const OpenConfiguration& configuration) override;
    bool setActivationPolicy(ActivationPolicy policy) override;
    void activateIgnoringOtherApps() override;
    NotificationToken addObserver(NotificationCenterKind center, const std::string& name, DispatchQueue& queue,
        std::function<void()> handler) override;
    void removeObserver(NotificationToken token) override;

    // Desktop.
    std::optional<CFDictionary> sessionDictionary() override;
    std::vector<Screen> screens() override;
    std::vector<PasteboardItem> pasteboardItems() override;
    void setPasteboardItems(const std::vector<PasteboardItem>& items) override;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace mq::platform
