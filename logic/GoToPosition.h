// Reading and moving Logic's playhead, and reading the SMPTE time of bar 1, through
// Logic's "Go to Position" dialog. Each operation opens the dialog with stored
// action 21, waits for it, reads or types its SMPTE field, and closes it again
// before it returns: cancelled after a read, confirmed after a move.
#pragma once

#include "logic/LogicDriving.h"
#include "marquee/ServiceError.h"
#include "marquee/ServiceErrorCodes.h"

#include <cstdint>
#include <optional>

namespace mq::logic {

/// The stored action that opens "Go to Position" with its bar field focused.
inline constexpr std::uint32_t kGoToPositionAction = 21;


/// The playhead in seconds at `frameRate`, read from the dialog's current
/// position; nothing (with an error line) when the dialog does not come or cannot
/// be read. Also used by marker creation.
[[nodiscard]] std::optional<double> readCurrentPlayheadSeconds(LogicDriving& logic, double frameRate);

/// The playhead, or error 81.
ServiceResult<double> readLogicPlayheadSMPTE(LogicDriving& logic, double frameRate, bool isDropFrame);

struct ProjectStart {
    double barOneSeconds;
    /// Control-bar time minus dialog time, whole frames; 0 when it cannot be measured.
    double viewOffsetSeconds;
    /// 0 frames, 1 subframes, 2 quarter frames, 3 samples or a seconds fraction.
    std::int64_t displayMode;
};

/// The SMPTE time of bar 1, or error 50, 51 or 52.
ServiceResult<ProjectStart> readLogicProjectStartSMPTE(LogicDriving& logic, double frameRate, bool isDropFrame);

struct PlayheadMove {
    /// Where Logic says the playhead went; NaN when its text cannot be read exactly
    /// (a seconds fraction, or a sub-frame field that is not 0).
    double landedSeconds;
    /// Control-bar time minus dialog time; NaN when it cannot be measured.
    double viewOffsetSeconds;
};

/// Moves the playhead to `seconds` (typed in the dialog's layout; drop-frame labels
/// with `isDropFrame`), or error 82. A landing that differs from the target is
/// still a success: the reply says where it landed.
ServiceResult<PlayheadMove> goToLogicPlayheadSMPTESeconds(LogicDriving& logic, double seconds, double frameRate,
    bool isDropFrame);

} // namespace mq::logic
