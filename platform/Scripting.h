// The scripting facility of the platform seam: in-process AppleScript execution
// (keystroke scripts to "System Events"), file references, Apple Events built
// and sent descriptor by descriptor as the Apple Event Manager does it, and the
// Automation permission check.
#pragma once

#include "platform/CoreTypes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace mq::platform {

/// OSStatus values the helper looks at.
namespace osstatus {
inline constexpr std::int32_t noErr = 0;
inline constexpr std::int32_t ioErr = -36;
inline constexpr std::int32_t fnfErr = -43;
inline constexpr std::int32_t memFullErr = -108;
inline constexpr std::int32_t procNotFound = -600;
inline constexpr std::int32_t errAECoercionFail = -1700;
inline constexpr std::int32_t errAEDescNotFound = -1701;
inline constexpr std::int32_t errAECorruptData = -1702;
inline constexpr std::int32_t errAEWrongDataType = -1703;
inline constexpr std::int32_t errAENotAEDesc = -1704;
inline constexpr std::int32_t errAEEventNotHandled = -1708;
inline constexpr std::int32_t afpAccessDenied = -5000;
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

/// A file-system reference (FSRef): 80 opaque bytes that identify a file by its
/// volume and file id, not by its path. Only the platform reads them.
struct FileReference {
    std::array<std::uint8_t, 80> bytes {};
};

/// An Apple Event descriptor (AEDesc, AEAddressDesc, AppleEvent) held by the
/// platform until disposeDesc. The null descriptor (typeNull) has token 0.
struct AEDescRef {
    std::uint64_t token { 0 };
    bool isNull() const { return token == 0; }
    friend bool operator==(const AEDescRef&, const AEDescRef&) = default;
};

/// Constants of the Apple Event Manager the helper uses.
namespace appleevent {
/// AECreateAppleEvent: let the system choose the return ID; any transaction.
inline constexpr std::int16_t kAutoGenerateReturnID = -1;
inline constexpr std::int32_t kAnyTransactionID = 0;
/// AESendMessage's send modes.
inline constexpr std::int32_t kAENoReply = 0x00000001;
inline constexpr std::int32_t kAEQueueReply = 0x00000002;
inline constexpr std::int32_t kAEWaitReply = 0x00000003;
/// AESendMessage's time-outs, in ticks (1/60 s): the system's default (about a minute).
inline constexpr std::int64_t kAEDefaultTimeout = -1;
inline constexpr std::int64_t kNoTimeOut = -2;
} // namespace appleevent

class Scripting {
public:
    virtual ~Scripting() = default;

    /// Compiles and runs `source` in this process, synchronously.
    virtual ScriptResult runAppleScript(const std::string& source) = 0;

    /// FSPathMakeRef: the reference of the file or folder at `path` (its
    /// file-system representation). fnfErr (-43) when nothing is there.
    virtual std::int32_t makeFileReference(const std::string& path, FileReference& out) = 0;

    // Apple Events, in the shape of the Apple Event Manager. Each call answers an
    // OSStatus; a descriptor made by a call that succeeded stays with the platform
    // until disposeDesc, whatever happens to the calls after it.

    /// AECreateDesc: a descriptor of `type` holding a copy of `size` bytes at `data`.
    virtual std::int32_t createDesc(FourCharCode type, const void* data, std::size_t size, AEDescRef& result) = 0;
    /// AECreateAppleEvent: an event of `eventClass`/`eventID` addressed to `target`
    /// (which is copied into it; the caller still disposes of it).
    virtual std::int32_t createAppleEvent(FourCharCode eventClass, FourCharCode eventID, const AEDescRef& target, std::int16_t returnID,
        std::int32_t transactionID, AEDescRef& result)
        = 0;
    /// AEPutParamPtr: adds (or replaces) the parameter `keyword` of `event`.
    virtual std::int32_t putParamPtr(const AEDescRef& event, FourCharCode keyword, FourCharCode type, const void* data, std::size_t size) = 0;
    /// AESendMessage: sends `event`. `reply` is the null descriptor with
    /// kAENoReply (the status then says only whether the event was delivered),
    /// else the reply event. `timeoutTicks` is in 1/60 s, or kAEDefaultTimeout.
    /// procNotFound (-600) when the target is not running; errAEEventNotPermitted
    /// (-1743) when this process may not automate it.
    virtual std::int32_t sendMessage(const AEDescRef& event, AEDescRef& reply, std::int32_t sendMode, std::int64_t timeoutTicks) = 0;
    /// AEDisposeDesc: releases `desc` and sets it to the null descriptor. The
    /// null descriptor may be disposed of (noErr).
    virtual std::int32_t disposeDesc(AEDescRef& desc) = 0;

    /// AEDeterminePermissionToAutomateTarget for events of `eventClass`/`eventID`
    /// (typeWildCard is fourCharCode("****")) to the application `bundleIdentifier`.
    /// noErr when allowed; -1743 denied; -1744 would need the user's consent;
    /// -600 when the target is not running. With `askUserIfNeeded` the user is prompted.
    virtual std::int32_t determinePermissionToAutomateTarget(const std::string& bundleIdentifier, FourCharCode eventClass,
        FourCharCode eventID, bool askUserIfNeeded)
        = 0;
};

} // namespace mq::platform
