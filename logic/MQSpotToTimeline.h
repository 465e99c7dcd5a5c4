// The spot-to-timeline Apple Event: asks Logic to place an audio file at its
// playhead as a region, through one custom event (class 'aUeV', ID 'Spt2') built
// and sent descriptor by descriptor through the platform's Apple Event calls.
#pragma once

#include "platform/Scripting.h"

#include <cstdint>
#include <string>

namespace mq::logic {

/// The event and its parameters.
namespace spot {
inline constexpr platform::FourCharCode kEventClass = platform::fourCharCode("aUeV");
inline constexpr platform::FourCharCode kEventID = platform::fourCharCode("Spt2");
inline constexpr platform::FourCharCode kTypeApplicationBundleID = platform::fourCharCode("bund");
inline constexpr platform::FourCharCode kTypeSInt32 = platform::fourCharCode("long");
inline constexpr platform::FourCharCode kTypeFSRef = platform::fourCharCode("fsrf");
inline constexpr platform::FourCharCode kTypeUTF8Text = platform::fourCharCode("utf8");
inline constexpr platform::FourCharCode kFileParameter = platform::fourCharCode("sPfi");
inline constexpr platform::FourCharCode kRegionNameParameter = platform::fourCharCode("sPrg");

/// The integer parameters, in the order they are put, with their values (sent
/// unchanged whatever the request). The file reference goes after the first.
struct IntegerParameter {
    platform::FourCharCode keyword;
    std::int32_t value;
};
inline constexpr IntegerParameter kModeParameter { platform::fourCharCode("sPmo"), 1 };
inline constexpr IntegerParameter kIntegerParametersAfterFile[] = {
    { platform::fourCharCode("sPve"), 1 },
    { platform::fourCharCode("sPtn"), 0 },
    { platform::fourCharCode("sPss"), 0 },
    { platform::fourCharCode("sPst"), 0 },
    { platform::fourCharCode("sPsp"), 0 },
};
} // namespace spot

class MQSpotToTimeline {
public:
    /// Sends the event for the file at `path` to the application `targetBundleID`,
    /// naming the region `regionName` (no name parameter when it is empty), with
    /// no reply expected. Answers 0, or the status of the first step that failed:
    /// fnfErr (-43) for a path where there is no file, procNotFound (-600) when
    /// the target is not running, -1743 when this process may not automate it.
    /// Every descriptor made is disposed of on every path. Keeps no state; any thread.
    static std::int32_t sendWithAudioFilePath(platform::Scripting& scripting, const std::string& path, const std::string& regionName,
        const std::string& targetBundleID);
};

} // namespace mq::logic
