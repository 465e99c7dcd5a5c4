#include "sim/osascript-standin/StoredActionScript.h"

namespace mq::sim {

std::optional<std::uint32_t> storedActionCode(std::string_view script)
{
    constexpr std::string_view kProperty = "property storedAction : ";
    std::size_t start = 0;
    while (start <= script.size()) {
        std::size_t end = script.find('\n', start);
        std::string_view line = script.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.substr(0, kProperty.size()) == kProperty) {
            std::string_view digits = line.substr(kProperty.size());
            if (digits.empty() || digits.size() > 10)
                return std::nullopt;
            std::uint64_t value = 0;
            for (char c : digits) {
                if (c < '0' || c > '9')
                    return std::nullopt;
                value = value * 10 + static_cast<std::uint64_t>(c - '0');
            }
            if (value > UINT32_MAX)
                return std::nullopt;
            return static_cast<std::uint32_t>(value);
        }
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return std::nullopt;
}

} // namespace mq::sim
