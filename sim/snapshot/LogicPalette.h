// Logic's 96 region and track colours, as the Colors window's grid shows them:
// 8 rows of 12 hues, from light and soft at the top to dark at the bottom.
#pragma once

#include <cstdint>

namespace mq::sim {

struct RGB {
    std::uint8_t red, green, blue;
    friend bool operator==(const RGB&, const RGB&) = default;
};

inline constexpr int kLogicColorCount = 96;

/// The colour of palette `index` (0 to 95); out of range gives the default region colour.
RGB logicColor(int index);
/// A region or track nobody coloured.
RGB defaultRegionColor();

} // namespace mq::sim
