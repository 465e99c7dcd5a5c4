// Creating a named, optionally coloured marker in Logic that spans a clip: the
// locators are set to the clip through "Set Left and Right Locator", a "Go to
// Position" to the clip end checks that the end lies inside the project, the
// marker is made from the locators, named, and coloured in the Colors window.
#pragma once

#include "logic/ColorsWindow.h"
#include "logic/LogicDriving.h"
#include "marquee/ServiceError.h"
#include "marquee/ServiceErrorCodes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mq::logic {

/// The stored actions of marker creation.
inline constexpr std::uint32_t kSetLocatorsAction = 476;
inline constexpr std::uint32_t kCreateMarkerActions[] = { 2564, 480, 1192 };
inline constexpr std::uint32_t kEndStepAction = 362;
inline constexpr std::uint32_t kEndColorStepAction = 347;


struct MarkerRequest {
    double timecodeSeconds { 0 };
    double durationSeconds { 0 };
    std::string displayName;
    /// A cell of the Colors grid; negative for no colour.
    std::int64_t lpColorIndex { -1 };
    /// The request's pacing, for its entry line (the pauses go through LogicDriving).
    double pacingSeconds { 0 };
    double frameRate { 0 };
    bool isDropFrame { false };
};

/// "hh:mm:ss:ff" of `seconds` (always colons, also for drop frame).
std::string smpteLabel(double seconds, double frameRate, bool isDropFrame);

/// `label` ("h:m:s:f", trimmed, four base-10 integers) in seconds, the frame
/// counted at `frameRate` when it is greater than 0; 0 when it does not parse.
double labelSeconds(std::string_view label, double frameRate);

/// The message of error 45, naming the clip end's label.
std::string clipEndBeyondProjectMessage(std::string_view endLabel);

/// Ends a marker or placement sequence: stored action 362 and, when a colour was
/// asked for, 347, each after a pacing pause.
void runClosingActions(LogicDriving& logic, bool colored);

/// Creates the marker; answers the view offset measured in the verification
/// dialog (NaN when it did not come), or error 40, 41, 44, 45 or 46. Colour
/// problems are logged and do not fail it. `avoidAppKit` is the client's
/// progress panel (the null rectangle for none).
ServiceResult<double> createLogicMarker(LogicDriving& logic, ColorsBatch& batch, const MarkerRequest& request,
    platform::CGRect avoidAppKit);

} // namespace mq::logic
