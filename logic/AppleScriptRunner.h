// Running a keystroke script: the source is compiled and run in this process
// through the platform's scripting facility, synchronously on the calling thread.
#pragma once

#include "platform/CoreTypes.h"
#include "platform/Scripting.h"

#include <string>

namespace mq::logic {

/// Compiles and runs `source`. True when it compiled and ran without error.
/// Otherwise logs one line at error level on "helper.service", "AppleScript:
/// failed to compile" or "AppleScript error: " with the whole error information,
/// and answers false. The script's result value is not used.
bool runAppleScript(platform::Scripting& scripting, const std::string& source);

/// The text form of a script's error information, on one line, in the platform's
/// dictionary style: {NSAppleScriptErrorMessage = "..."; NSAppleScriptErrorNumber = -1743;}
std::string describeErrorInfo(const platform::CFDictionary& errorInfo);

} // namespace mq::logic
