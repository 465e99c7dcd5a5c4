#include "sim/TimeLabel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace mq::sim {

namespace {

constexpr long long kSecondsPerDay = 24 * 3600;

} // namespace

TimeFormat TimeFormat::of(double frameRate, bool dropFrame)
{
    long long rate = std::isfinite(frameRate) && frameRate > 0 ? std::max(1LL, static_cast<long long>(std::llround(frameRate))) : 25;
    return TimeFormat { rate, dropFrame };
}

long long TimeFormat::droppedPerMinute() const { return dropFrame ? std::max(2LL, (rate + 7) / 15) : 0; }

TimeLabel frameLabel(double seconds, const TimeFormat& format)
{
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    double exact = seconds * static_cast<double>(format.rate);
    auto frame = static_cast<long long>(std::floor(exact + 1e-6));
    double within = std::clamp(exact - static_cast<double>(frame), 0.0, 0.999999);
    long long label = frame;
    if (long long drop = format.droppedPerMinute()) {
        long long perTen = format.rate * 600 - 9 * drop;
        long long perMinute = format.rate * 60 - drop;
        long long tens = frame / perTen;
        long long rest = frame % perTen;
        label += 9 * drop * tens + (rest > drop ? drop * ((rest - drop) / perMinute) : 0);
    }
    long long total = label / format.rate % kSecondsPerDay;
    return TimeLabel { total / 3600, total / 60 % 60, total % 60, label % format.rate, within };
}

ClockLabel clockLabel(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    double whole = std::floor(seconds + 1e-9);
    auto total = static_cast<long long>(whole) % kSecondsPerDay;
    double fraction = std::clamp(seconds - whole, 0.0, 0.999999999);
    return ClockLabel { total / 3600, total / 60 % 60, total % 60, fraction };
}

std::optional<double> secondsOfLabel(long long hours, long long minutes, long long seconds, long long frames, const TimeFormat& format)
{
    if (hours < 0 || minutes < 0 || seconds < 0 || frames < 0 || minutes > 59 || seconds > 59 || frames >= format.rate)
        return std::nullopt;
    long long drop = format.droppedPerMinute();
    long long allMinutes = hours * 60 + minutes;
    if (drop && seconds == 0 && minutes % 10 != 0 && frames < drop)
        return std::nullopt; // A label that drop frame never shows.
    long long frame = (hours * 3600 + minutes * 60 + seconds) * format.rate + frames - drop * (allMinutes - allMinutes / 10);
    return static_cast<double>(frame) / static_cast<double>(format.rate);
}

std::optional<DigitStyle> digitStyleNamed(const std::string& name)
{
    if (name == "padded")
        return DigitStyle::padded;
    if (name == "unpadded")
        return DigitStyle::unpadded;
    if (name == "fullwidth")
        return DigitStyle::fullwidth;
    if (name == "arabicIndic")
        return DigitStyle::arabicIndic;
    return std::nullopt;
}

std::string digitsText(long long value, int width, DigitStyle style)
{
    char ascii[32];
    std::snprintf(ascii, sizeof ascii, "%0*lld", style == DigitStyle::unpadded ? 1 : width, value);
    if (style == DigitStyle::padded || style == DigitStyle::unpadded)
        return ascii;
    // U+FF10 FULLWIDTH DIGIT ZERO and U+0660 ARABIC-INDIC DIGIT ZERO, in UTF-8.
    std::string out;
    for (const char* c = ascii; *c; ++c) {
        if (*c < '0' || *c > '9') {
            out.push_back(*c);
            continue;
        }
        int digit = *c - '0';
        if (style == DigitStyle::fullwidth) {
            out += "\xEF\xBC";
            out.push_back(static_cast<char>(0x90 + digit));
        } else {
            out += "\xD9";
            out.push_back(static_cast<char>(0xA0 + digit));
        }
    }
    return out;
}

} // namespace mq::sim
