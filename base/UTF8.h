// Checking text for well-formed UTF-8, for bytes that arrive from outside the
// helper (request frames, file names and files on disk).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mq {

/// The length of the well-formed UTF-8 sequence at the start of `bytes`: 1 to 4,
/// or 0 when it is none (a stray continuation byte, a sequence cut short, an
/// overlong form, a surrogate, anything past U+10FFFF).
inline std::size_t wellFormedUTF8SequenceLength(std::string_view bytes)
{
    auto c = static_cast<unsigned char>(bytes[0]);
    std::size_t length;
    char32_t value;
    if (c < 0x80)
        return 1;
    if ((c & 0xE0) == 0xC0) {
        length = 2;
        value = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3;
        value = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4;
        value = c & 0x07;
    } else {
        return 0;
    }
    if (length > bytes.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        auto next = static_cast<unsigned char>(bytes[k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    static constexpr char32_t smallest[] = { 0, 0, 0x80, 0x800, 0x10000 };
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

/// True when `bytes` is well-formed UTF-8: no stray continuation bytes, no
/// sequence cut short, no overlong forms, no surrogates, nothing past U+10FFFF.
inline bool isWellFormedUTF8(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t length = wellFormedUTF8SequenceLength(bytes.substr(i));
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

/// `bytes` with every byte that does not begin a well-formed sequence replaced by
/// U+FFFD, for text made from outside input that has to travel as a string.
inline std::string withInvalidUTF8Replaced(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t length = wellFormedUTF8SequenceLength(bytes.substr(i));
        if (length == 0) {
            text += "\xEF\xBF\xBD";
            ++i;
        } else {
            text.append(bytes.substr(i, length));
            i += length;
        }
    }
    return text;
}

} // namespace mq
