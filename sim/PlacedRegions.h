// Regions that Logic places show in its main window's tracks area (an
// AXLayoutArea described "Tracks", key "tracks-area") as AXLayoutItems described
// with the region's name, key "region-N" for the document's region N. A
// project window without a tracks area gets one when its first region shows.
#pragma once

#include <cstddef>

namespace mq::sim {

struct World;

/// Shows the document's region `index` in Logic's main window.
void showPlacedRegion(World& world, std::size_t index);

} // namespace mq::sim
