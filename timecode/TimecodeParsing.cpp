#include "timecode/TimecodeParsing.h"

#include <array>
#include <charconv>
#include <cstdint>

namespace mq::timecode {

namespace {

bool isWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isWhiteSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isWhiteSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isDigitRun(std::string_view text)
{
    if (text.empty())
        return false;
    for (char c : text) {
        if (!isDigit(c))
            return false;
    }
    return true;
}

// The value of a run of decimal digits; nothing when it does not fit in int64
// (leading zeros are fine, as they do not change the value).
std::optional<std::int64_t> parseDigits(std::string_view digits)
{
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc {} || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

int digitCount(std::string_view piece)
{
    // A piece longer than INT_MAX characters cannot be held anyway; the clamp
    // only keeps the narrowing defined.
    constexpr std::size_t kMaxDigits = 0x7fffffff;
    return static_cast<int>(piece.size() < kMaxDigits ? piece.size() : kMaxDigits);
}

template<typename Piece>
std::optional<TimecodeFields> parsePieces(std::span<const Piece> pieces)
{
    if (pieces.size() != 4 && pieces.size() != 5)
        return std::nullopt;

    std::array<std::string_view, 5> texts;
    std::array<std::int64_t, 5> values {};
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        texts[i] = trimmed(std::string_view(pieces[i]));
        if (!isDigitRun(texts[i]))
            return std::nullopt;
    }
    if (texts[0].size() > 2 || texts[1].size() != 2 || texts[2].size() != 2)
        return std::nullopt;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const auto value = parseDigits(texts[i]);
        if (!value)
            return std::nullopt;
        values[i] = *value;
    }

    TimecodeFields fields;
    fields.hours = values[0];
    fields.minutes = values[1];
    fields.seconds = values[2];

    const std::size_t fourthLength = texts[3].size();
    if (pieces.size() == 4) {
        if (fourthLength == 2) {
            fields.layout = TimecodeLayout::frames();
            fields.frames = values[3];
        } else if (fourthLength >= 3) {
            fields.layout = TimecodeLayout::secondsFraction(digitCount(texts[3]));
            fields.subField = values[3];
        } else {
            return std::nullopt;
        }
        return fields;
    }

    if (fourthLength != 2)
        return std::nullopt;
    fields.frames = values[3];
    fields.subField = values[4];
    switch (texts[4].size()) {
    case 1:
        fields.layout = TimecodeLayout::quarterFrames();
        break;
    case 2:
        fields.layout = TimecodeLayout::subframes();
        break;
    default:
        fields.layout = TimecodeLayout::samples();
        break;
    }
    return fields;
}

} // namespace

std::optional<TimecodeFields> parseTimecodeFields(std::span<const std::string_view> pieces)
{
    return parsePieces(pieces);
}

std::optional<TimecodeFields> parseTimecodeFields(std::span<const std::string> pieces)
{
    return parsePieces(pieces);
}

std::optional<TimecodeFields> parseTimecodeValueText(std::string_view text)
{
    if (text.find(':') == std::string_view::npos)
        return std::nullopt;

    // More than five runs can never be a timecode; stop collecting at six.
    std::array<std::string_view, 6> runs;
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < text.size() && count < runs.size()) {
        if (!isDigit(text[i])) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < text.size() && isDigit(text[i]))
            ++i;
        runs[count++] = text.substr(start, i - start);
    }
    return parseTimecodeFields(std::span<const std::string_view>(runs.data(), count));
}

std::optional<double> parseLCDTimecode(std::string_view text, double frameRate)
{
    text = trimmed(text);
    std::array<std::int64_t, 4> values {};
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t end = text.find_first_of(":.;", i);
        const std::string_view piece = text.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i);
        i = end == std::string_view::npos ? text.size() : end + 1;
        if (piece.empty())
            continue;
        if (count == values.size() || !isDigitRun(piece))
            return std::nullopt;
        const auto value = parseDigits(piece);
        if (!value)
            return std::nullopt;
        values[count++] = *value;
    }
    if (count != values.size())
        return std::nullopt;

    double seconds = static_cast<double>(values[0]) * 3600 + static_cast<double>(values[1]) * 60
        + static_cast<double>(values[2]);
    if (frameRate > 0)
        seconds += static_cast<double>(values[3]) / frameRate;
    return seconds;
}

} // namespace mq::timecode
