// Placing an audio file on Logic's timeline: the playhead is moved to the
// timecode through "Go to Position", a new named track is made when asked, Logic
// is sent the spot-to-timeline Apple Event for the file, and the placed region
// (and, when asked, its track) is coloured in the Colors window.
#pragma once

#include "logic/ColorsWindow.h"
#include "logic/LogicDriving.h"
#include "marquee/ServiceError.h"
#include "marquee/ServiceErrorCodes.h"
#include "marquee/URL.h"

#include <cstdint>
#include <string>

namespace mq::logic {

/// The stored actions of placement.
inline constexpr std::uint32_t kNewTrackAction = 1795;
inline constexpr std::uint32_t kEditTrackNameAction = 571;
inline constexpr std::uint32_t kSelectPlacedRegionActions[] = { 584, 358 };


/// The name typed for a new track when the request gives none.
inline constexpr const char* kDefaultTrackName = "Movie Audio";

struct PlacementRequest {
    URL url;
    double timecodeSeconds { 0 };
    std::string displayName;
    bool createNewTrack { false };
    std::string trackName;
    /// A cell of the Colors grid; negative for no colour.
    std::int64_t lpColorIndex { -1 };
    bool colorTrack { false };
    /// The request's pacing, for its entry line (the pauses go through LogicDriving).
    double pacingSeconds { 0 };
    double frameRate { 0 };
    bool isDropFrame { false };
};

/// The path sent to Logic: the file URL's path; empty (which names no file) for
/// a URL of another scheme.
std::string placementPath(const URL& url);

/// The message of error 30.
std::string spotFailedMessage(std::int32_t status);

/// Places the file; answers the view offset measured in the Go to Position
/// dialog, or error 27, 22, 30 or 31. Colour problems and a track name whose
/// script failed are logged and do not fail it; a name or a click that the input
/// guard refused does (31). `avoidAppKit` is the client's
/// progress panel (the null rectangle for none).
ServiceResult<double> placeAudioFile(LogicDriving& logic, ColorsBatch& batch, const PlacementRequest& request, platform::CGRect avoidAppKit);

} // namespace mq::logic
