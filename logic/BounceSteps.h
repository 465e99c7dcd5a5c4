// The five bounce steps: exporting a Logic project together with a movie. The
// client runs them in order, one request each: move the playhead to the export
// start, open the movie, align the movie region, open Logic's export dialog, and
// wait until the export dialogs have closed. The user completes the export
// dialog; the helper brings Logic to it and reports the last file name shown.
#pragma once

#include "ax/UIElement.h"
#include "logic/LogicDriving.h"
#include "marquee/ServiceError.h"
#include "marquee/ServiceErrorCodes.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mq::logic {

/// Logic's commands that the steps run.
inline constexpr std::uint32_t kStopTransportAction = 5;
inline constexpr std::uint32_t kOpenMovieAction = 1194;
inline constexpr std::uint32_t kMovieLoadedAction = 1320;
inline constexpr std::uint32_t kAlignMovieRegionFirstAction = 1306;
inline constexpr std::uint32_t kAlignMovieRegionSecondAction = 1346;
inline constexpr std::uint32_t kOpenExportDialogAction = 1197;


/// How long step 5 waits for the export dialogs to close, and how long nothing
/// of them may be seen before they count as closed.
inline constexpr std::chrono::seconds kExportDialogsDeadline { 1800 };
inline constexpr std::chrono::milliseconds kExportDialogsQuietTime { 500 };

/// Logic's windows as step 4 found them before it opened the export dialog.
/// Written by step 4 and read by step 5 on another thread, so it is guarded.
class BounceBaselineWindows {
public:
    void store(std::vector<ax::UIElement> windows);
    std::vector<ax::UIElement> current() const;

private:
    mutable std::mutex m_mutex;
    std::vector<ax::UIElement> m_windows;
};

/// The error object of a failed step; logs "bounce failed (code): message" at error level.
[[nodiscard]] ServiceError bounceError(std::int64_t code, std::string message);

/// Step 1: optionally stops the transport, then moves the playhead to
/// `timecodeSeconds` through the Go to Position dialog. The view offset between
/// the control bar and the dialog (NaN when it cannot be measured), or error 27 or 22.
ServiceResult<double> bounceGoToPosition(LogicDriving& logic, double timecodeSeconds, bool stopTransport, double frameRate,
    bool isDropFrame);

/// Step 2: opens the movie at `moviePath` in Logic and waits until it has loaded;
/// error 28, 24 or 29.
ServiceResult<void> bounceOpenMovie(LogicDriving& logic, std::string_view moviePath);

/// Step 3: aligns the movie region. Always succeeds.
void bounceAlignMovieRegion(LogicDriving& logic);

/// Step 4: stores Logic's windows in `baseline`, then opens the export dialog and
/// waits up to 5 s for its save panel; error 30.
ServiceResult<void> bounceOpenExportDialog(LogicDriving& logic, BounceBaselineWindows& baseline);

/// Where step 5 takes the time from; tests pass a clock that runs faster.
using BounceClock = std::function<std::chrono::steady_clock::time_point()>;

struct ExportDialogsOutcome {
    /// The last name seen in the panel's name field.
    std::optional<std::string> lastName;
    /// Error 31 when the dialogs were still open at the deadline.
    std::optional<ServiceError> error;
};

/// Step 5: polls every 0.1 s until neither the save panel nor a modal window
/// that was not in `baseline` has been seen for 0.5 s, or the 1800 s deadline of
/// `now` passes, or `abandoned` (when given) answers true: nobody waits for the
/// answer any more. Blocks the calling thread throughout.
ExportDialogsOutcome awaitExportDialogsClosed(platform::Platform& platform, const BounceBaselineWindows& baseline, const BounceClock& now,
    const std::function<bool()>& abandoned = {});

} // namespace mq::logic
