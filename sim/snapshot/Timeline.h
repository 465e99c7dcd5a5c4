// Logic's document over time, as the project window's tracks area shows it: a
// timecode ruler with the locators and the playhead, the marker track, and one
// lane per document track with its regions, each beside its track header. The
// visible span holds the whole document (and at least Logic's default twenty
// bars from bar 1), so nothing the document holds lies outside the picture.
#pragma once

#include "sim/snapshot/Canvas.h"
#include "sim/snapshot/DocumentChanges.h"

#include <nlohmann/json.hpp>

namespace mq::sim {

/// Where the timeline draws: the track headers' column and the tracks area.
struct TimelineFrames {
    QRectF headers;
    QRectF area;
};

/// Draws the document of `state` (its `logic` and `transport`); `changes`, when
/// given, marks what changed since an earlier state.
void drawTimeline(Canvas& canvas, const nlohmann::json& state, const TimelineFrames& frames, const DocumentChanges* changes);

} // namespace mq::sim
