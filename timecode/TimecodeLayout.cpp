#include "timecode/TimecodeLayout.h"

#include <ostream>

namespace mq::timecode {

int displayMode(const TimecodeLayout& layout)
{
    switch (layout.kind()) {
    case TimecodeLayout::Kind::frames:
        return 0;
    case TimecodeLayout::Kind::subframes:
        return 1;
    case TimecodeLayout::Kind::quarterFrames:
        return 2;
    case TimecodeLayout::Kind::samples:
    case TimecodeLayout::Kind::secondsFraction:
        return 3;
    }
    return 0;
}

std::string toString(const TimecodeLayout& layout)
{
    switch (layout.kind()) {
    case TimecodeLayout::Kind::frames:
        return "frames";
    case TimecodeLayout::Kind::subframes:
        return "subframes";
    case TimecodeLayout::Kind::quarterFrames:
        return "quarterFrames";
    case TimecodeLayout::Kind::samples:
        return "samples";
    case TimecodeLayout::Kind::secondsFraction:
        return "secondsFraction(" + std::to_string(layout.digits()) + ")";
    }
    return "frames";
}

std::ostream& operator<<(std::ostream& out, const TimecodeLayout& layout)
{
    return out << toString(layout);
}

} // namespace mq::timecode
