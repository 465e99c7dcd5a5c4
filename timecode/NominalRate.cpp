#include "timecode/NominalRate.h"

#include <cmath>

namespace mq::timecode {

std::int64_t nominalRate(double frameRate)
{
    // Written so that NaN fails the first test: it is "not at least 1".
    if (!(frameRate >= 1.0))
        return 1;
    if (frameRate >= static_cast<double>(kMaxNominalRate))
        return kMaxNominalRate;
    return static_cast<std::int64_t>(std::round(frameRate));
}

} // namespace mq::timecode
