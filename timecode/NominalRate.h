// The nominal rate: the whole number of frame labels per second that belongs to
// a real frame rate (29.97 counts its labels in thirties, 23.976 in twenty-fours).
#pragma once

#include <cstdint>

namespace mq::timecode {

/// Nominal rates are capped here, so that a day's frame count (rate x 86400) and
/// every product formed from it stay far inside int64 and exact in a double.
inline constexpr std::int64_t kMaxNominalRate = 1'000'000'000;

/// The frame rate rounded to the nearest integer (halves away from zero) and at
/// least 1: 29.97 gives 30, 23.976 gives 24, 59.94 gives 60, 0.4 gives 1.
/// NaN and rates below 1 give 1; rates above kMaxNominalRate (and +infinity) give
/// kMaxNominalRate.
std::int64_t nominalRate(double frameRate);

} // namespace mq::timecode
