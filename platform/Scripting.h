// The scripting facility of the platform seam: in-process AppleScript execution
// (keystroke scripts to "System Events"), sending one Apple Event, and the
// Automation permission check.
#pragma once

#include "platform/CoreTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mq::platform {

/// OSStatus values the helper looks at.
namespace osstatus {
inline constexpr std::int32_t noErr = 0;
inline constexpr std::int32_t procNotFound = -600;
inline constexpr std::int32_t errAEEventNotPermitted = -1743;
inline constexpr std::int32_t errAEEventWouldRequireUserConsent = -1744;
inline constexpr std::int32_t errAETimeout = -1712;
} // namespace osstatus

/// A four-character code ('aUeV').
using FourCharCode = std::uint32_t;
constexpr FourCharCode fourCharCode(const char (&code)[5])
{
    return (FourCharCode(static_cast<unsigned char>(code[0])) << 24) | (FourCharCode(static_cast<unsigned char>(code[1])) << 16)
        | (FourCharCode(static_cast<unsigned char>(code[2])) << 8) | FourCharCode(static_cast<unsigned char>(code[3]));
}

/// The outcome of running a script source.
struct ScriptResult {
    /// False when the source did not compile (no script object could be made).
    bool compiled { false };
    /// The error information when compiling or running failed, e.g. entries
    /// "NSAppleScriptErrorNumber" and "NSAppleScriptErrorMessage". Absent on success.
    std::optional<CFDictionary> errorInfo;
};

/// One parameter of an Apple Event: a keyword and a typed value.
struct AppleEventParameter {
    FourCharCode keyword { 0 };
    FourCharCode descriptorType { 0 };
    CFValue value;
};

struct AppleEvent {
    FourCharCode eventClass { 0 };
    FourCharCode eventID { 0 };
    std::string targetBundleIdentifier;
    std::vector<AppleEventParameter> parameters;
};

class Scripting {
public:
    virtual ~Scripting() = default;

    /// Compiles and runs `source` in this process, synchronously.
    virtual ScriptResult runAppleScript(const std::string& source) = 0;

    /// AESendMessage: sends `event` and waits up to `timeoutSeconds` for the reply.
    /// Returns the OSStatus of the send or the reply's error number.
    virtual std::int32_t sendAppleEvent(const AppleEvent& event, double timeoutSeconds) = 0;

    /// AEDeterminePermissionToAutomateTarget for events of `eventClass`/`eventID`
    /// (typeWildCard is fourCharCode("****")) to the application `bundleIdentifier`.
    /// noErr when allowed; -1743 denied; -1744 would need the user's consent;
    /// -600 when the target is not running. With `askUserIfNeeded` the user is prompted.
    virtual std::int32_t determinePermissionToAutomateTarget(const std::string& bundleIdentifier, FourCharCode eventClass,
        FourCharCode eventID, bool askUserIfNeeded)
        = 0;
};

} // namespace mq::platform
