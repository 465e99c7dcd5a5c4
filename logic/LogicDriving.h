// What the Logic-driving operations work with: the platform, a way to start a
// stored action without waiting for it, and the control bar's current position.
#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace mq::logic {

struct LogicDriving {
    platform::Platform& platform;
    /// Starts stored action `code` on the global user-initiated queue and returns
    /// at once; its result is not looked at.
    std::function<void(std::uint32_t code)> startStoredActionInBackground;
    /// The position that Logic's control-bar SMPTE display shows, in seconds at a
    /// frame rate, read afresh; nothing when the display cannot be read.
    std::function<std::optional<double>(double frameRate)> readControlBarSeconds;
};

} // namespace mq::logic
