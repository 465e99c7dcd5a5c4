#include "timecode/Numeric.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace mq::timecode {

std::int64_t saturatingInt64(double value)
{
    // 2^63 is exactly representable; every double below it and at or above -2^63
    // converts without overflow.
    constexpr double kTwoToThe63 = 9223372036854775808.0;
    if (std::isnan(value))
        return 0;
    if (value >= kTwoToThe63)
        return std::numeric_limits<std::int64_t>::max();
    if (value < -kTwoToThe63)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

std::int64_t powerOfTen(int exponent)
{
    std::int64_t result = 1;
    for (int i = std::clamp(exponent, 0, kMaxInt64DecimalExponent); i > 0; --i)
        result *= 10;
    return result;
}

void appendZeroPadded(std::string& out, std::int64_t value, int width)
{
    std::array<char, 24> digits {};
    // The magnitude as unsigned, so that the int64 minimum has no overflow.
    const bool negative = value < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), magnitude);
    (void)error; // 24 characters always hold 20 digits.
    const auto digitCount = static_cast<std::size_t>(end - digits.data());
    const std::size_t used = digitCount + (negative ? 1 : 0);
    const std::size_t wanted = width > 0 ? static_cast<std::size_t>(width) : 0;
    if (negative)
        out.push_back('-');
    if (wanted > used)
        out.append(wanted - used, '0');
    out.append(digits.data(), digitCount);
}

} // namespace mq::timecode
