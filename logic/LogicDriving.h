// What the Logic-driving operations work with: the platform, stored actions
// (started without waiting, or run to their end), the control bar's current
// position, the pacing pause, and where the operation records its steps.
#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace mq::logic {

class OperationTrace;

struct LogicDriving {
    platform::Platform& platform;
    /// Starts stored action `code` on the global user-initiated queue and returns
    /// at once; its result is not looked at.
    std::function<void(std::uint32_t code)> startStoredActionInBackground;
    /// The position that Logic's control-bar SMPTE display shows, in seconds at a
    /// frame rate, read afresh; nothing when the display cannot be read.
    std::function<std::optional<double>(double frameRate)> readControlBarSeconds;
    /// Runs stored action `code` and returns once its script has finished;
    /// whether it ran.
    std::function<bool(std::uint32_t code)> runStoredAction;
    /// A pause between user-interface steps: sleeps the service's
    /// operationPacingSeconds when it is greater than 0.
    std::function<void()> pacingPause;
    /// The operation's step timeline (logic/OperationTrace.h); null when it is
    /// not recorded.
    OperationTrace* trace { nullptr };
};

} // namespace mq::logic
