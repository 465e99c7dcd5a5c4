// Overflow-safe numeric helpers shared by the timecode conversions. Every
// double that becomes an integer here passes through a saturating conversion,
// so no input (NaN, infinities, 1e300) reaches an out-of-range cast.
#pragma once

#include <cstdint>
#include <string>

namespace mq::timecode {

/// The largest power of ten that fits in a signed 64-bit integer is 10^18.
inline constexpr int kMaxInt64DecimalExponent = 18;

/// `value` as a signed 64-bit integer, truncated toward zero and saturated at the
/// int64 limits; NaN gives 0.
std::int64_t saturatingInt64(double value);

/// 10^exponent for an exponent in [0, 18]; exponents outside are clamped into it.
std::int64_t powerOfTen(int exponent);

/// Appends `value` the way printf's "%0*lld" prints it with `width`: a leading
/// "-" for negative values, then the digits left-padded with "0" so that the
/// whole is at least `width` characters. A width below 1 pads nothing.
void appendZeroPadded(std::string& out, std::int64_t value, int width);

} // namespace mq::timecode
