// A text as the snapshot drew it: the window it lies in (an index, back to
// front; the changes panel comes last), its words, and the box its glyphs cover.
#pragma once

#include <string>

namespace mq::sim {

struct DrawnLabel {
    int window { 0 };
    std::string text;
    double x { 0 }, y { 0 }, width { 0 }, height { 0 };

    bool overlaps(const DrawnLabel& other) const
    {
        return window == other.window && x < other.x + other.width && other.x < x + width && y < other.y + other.height && other.y < y + height;
    }
};

} // namespace mq::sim
