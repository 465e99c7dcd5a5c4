// What became of a spot-to-timeline event. The event is sent without a reply,
// so its status says only that the system delivered it: Logic's handler may
// still refuse it (nothing placed) or fail to import the file (an alert), and a
// file that imports shows as a region some time later, longer for a longer file
// or a busy Logic. Placement therefore waits for the region the event made
// before it selects and colours "the placed region".
//
// Regions show in Logic's main window as AXLayoutItems of its tracks area (an
// AXLayoutArea), directly or inside the area's track lanes (AXGroups).
#pragma once

#include "ax/UIElement.h"
#include "platform/Platform.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace mq::logic {

/// Logic as it was before the event: how many regions its tracks area shows and
/// which windows it had.
struct SpotBaseline {
    /// Nothing when the regions could not be counted (then nothing can be waited for).
    std::optional<std::size_t> regions;
    std::vector<ax::UIElement> windows;
};

struct SpotOutcome {
    bool placed { false };
    /// Why nothing was placed: the alert's text, or that no region came in time.
    std::string reason;
};

/// The regions of Logic's main window's tracks area; nothing when Logic, its main
/// window or its children cannot be read. A window without a tracks area shows 0.
[[nodiscard]] std::optional<std::size_t> countPlacedRegions(platform::Platform& platform);

/// Reads the baseline, trying again for up to `timeoutSeconds` while Logic is busy.
SpotBaseline takeSpotBaseline(platform::Platform& platform, double timeoutSeconds);

/// Waits, at most `timeoutSeconds`, for the event's result: a region more than the
/// baseline (placed), or a new modal window of Logic's (its alert: the text is the
/// reason and the alert is dismissed with its default button). Without a baseline
/// count it answers placed at once, as nothing can be told.
SpotOutcome awaitSpotOutcome(platform::Platform& platform, const SpotBaseline& baseline, double timeoutSeconds);

} // namespace mq::logic
