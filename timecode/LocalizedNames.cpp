#include "timecode/LocalizedNames.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace mq::timecode {

namespace {

/// Decodes one UTF-8 sequence at `index`; nothing for a malformed one.
std::optional<std::pair<char32_t, std::size_t>> decode(std::string_view text, std::size_t index)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(index);
    if (lead < 0x80)
        return std::pair { char32_t(lead), std::size_t(1) };
    std::size_t length = (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || index + length > text.size())
        return std::nullopt;
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(index + i) & 0xC0) != 0x80)
            return std::nullopt;
        code = (code << 6) | (byte(index + i) & 0x3F);
    }
    return std::pair { code, length };
}

void encode(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

char32_t lowercase(char32_t code)
{
    if (code >= U'A' && code <= U'Z')
        return code + 0x20;
    if (code >= 0xC0 && code <= 0xDE && code != 0xD7)
        return code + 0x20;
    if (code == 0x130)
        return U'i';
    if (code == 0x178)
        return 0xFF;
    bool evenUpper = (code >= 0x100 && code <= 0x12F) || (code >= 0x132 && code <= 0x137) || (code >= 0x14A && code <= 0x177);
    bool oddUpper = (code >= 0x139 && code <= 0x148) || (code >= 0x179 && code <= 0x17E);
    if ((evenUpper && code % 2 == 0) || (oddUpper && code % 2 == 1))
        return code + 1;
    return code;
}

template<std::size_t N>
std::vector<std::string> lowerAll(const std::array<std::string_view, N>& entries)
{
    std::vector<std::string> lowered;
    lowered.reserve(N);
    for (std::string_view entry : entries)
        lowered.push_back(lowercased(entry));
    return lowered;
}

} // namespace

std::string lowercased(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t index = 0; index < text.size();) {
        std::optional<std::pair<char32_t, std::size_t>> decoded = decode(text, index);
        if (!decoded) {
            out.push_back(text[index++]);
            continue;
        }
        encode(out, lowercase(decoded->first));
        index += decoded->second;
    }
    return out;
}

bool containsAny(std::string_view text, std::span<const std::string> loweredEntries)
{
    std::string lowered = lowercased(text);
    return std::any_of(loweredEntries.begin(), loweredEntries.end(),
        [&](const std::string& entry) { return lowered.find(entry) != std::string::npos; });
}

bool containsAnyOf(std::string_view text, std::span<const std::string_view> entries)
{
    std::string lowered = lowercased(text);
    return std::any_of(entries.begin(), entries.end(), [&](std::string_view entry) { return lowered.find(lowercased(entry)) != std::string::npos; });
}

// Function-local statics are initialised once, thread-safely, on first use.
std::span<const std::string> loweredHourNames()
{
    static const std::vector<std::string> lowered = lowerAll(words::hourNames);
    return lowered;
}

std::span<const std::string> loweredControlBarNames()
{
    static const std::vector<std::string> lowered = lowerAll(words::controlBarNames);
    return lowered;
}

std::span<const std::string> loweredSecondFractionNames()
{
    static const std::vector<std::string> lowered = lowerAll(words::secondFractionNames);
    return lowered;
}

std::span<const std::string> loweredControlBarStateSampleNames()
{
    static const std::vector<std::string> lowered = lowerAll(words::controlBarStateSampleNames);
    return lowered;
}

bool isHourFieldDescription(std::string_view description)
{
    return containsAny(description, loweredHourNames());
}

} // namespace mq::timecode
