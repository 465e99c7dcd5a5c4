// Text read from Logic's interface without its surrounding white space.
#pragma once

#include <string_view>

namespace mq::logic {

/// `text` without leading and trailing spaces, tabs and line breaks.
constexpr std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view space = " \t\n\r\v\f";
    auto first = text.find_first_not_of(space);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

} // namespace mq::logic
