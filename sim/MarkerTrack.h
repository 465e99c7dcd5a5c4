// Logic's marker track in the main window: while it is shown, the tracks area
// begins with the global tracks' group holding the marker track's header, an
// AXPopUpButton labelled with the word for "Marker" in Logic's language (in
// its description, title or value, as the document says).
#pragma once

#include <string>

namespace mq::sim {

struct World;

/// The marker track's word in `language` (en de es fr ja ko zh).
std::string markerTrackWord(const std::string& language);

/// Makes Logic's main window show the marker track exactly when the document
/// says it is shown.
void syncMarkerTrack(World& world);

} // namespace mq::sim
