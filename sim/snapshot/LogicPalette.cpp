#include "sim/snapshot/LogicPalette.h"

#include <array>
#include <cmath>

namespace mq::sim {

namespace {

// One HSV to RGB conversion; h in degrees, s and v in 0..1.
RGB fromHSV(double h, double s, double v)
{
    double c = v * s;
    double x = c * (1 - std::fabs(std::fmod(h / 60.0, 2.0) - 1));
    double m = v - c;
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(h / 60.0) % 6) {
    case 0: r = c, g = x; break;
    case 1: r = x, g = c; break;
    case 2: g = c, b = x; break;
    case 3: g = x, b = c; break;
    case 4: r = x, b = c; break;
    default: r = c, b = x; break;
    }
    auto byte = [](double value) { return static_cast<std::uint8_t>(std::lround(value * 255)); };
    return { byte(r + m), byte(g + m), byte(b + m) };
}

std::array<RGB, kLogicColorCount> makePalette()
{
    // Rows go from pale to deep; the hues follow the colour wheel from red.
    constexpr std::array<double, 8> saturation { 0.25, 0.40, 0.55, 0.70, 0.80, 0.85, 0.90, 0.95 };
    constexpr std::array<double, 8> value { 1.00, 0.95, 0.90, 0.85, 0.75, 0.62, 0.50, 0.38 };
    std::array<RGB, kLogicColorCount> palette {};
    for (int row = 0; row < 8; ++row)
        for (int column = 0; column < 12; ++column)
            palette[static_cast<std::size_t>(row * 12 + column)] = fromHSV(column * 30.0, saturation[static_cast<std::size_t>(row)],
                value[static_cast<std::size_t>(row)]);
    return palette;
}

} // namespace

RGB logicColor(int index)
{
    static const std::array<RGB, kLogicColorCount> palette = makePalette();
    if (index < 0 || index >= kLogicColorCount)
        return defaultRegionColor();
    return palette[static_cast<std::size_t>(index)];
}

RGB defaultRegionColor() { return { 0x4a, 0x86, 0xc8 }; }

} // namespace mq::sim
