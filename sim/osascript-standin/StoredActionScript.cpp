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

namespace {

/// The texts between double quotes in `line`, in order.
std::vector<std::string> quoted(std::string_view line)
{
    std::vector<std::string> texts;
    for (std::size_t open = line.find('"'); open != std::string_view::npos;) {
        std::size_t close = line.find('"', open + 1);
        if (close == std::string_view::npos)
            break;
        texts.emplace_back(line.substr(open + 1, close - open - 1));
        open = line.find('"', close + 1);
    }
    return texts;
}

} // namespace

std::optional<StoredActionAddress> storedActionAddress(std::string_view script)
{
    constexpr std::string_view kList = "property logicIds : {";
    constexpr std::string_view kTell = "tell application id \"";
    std::size_t start = 0;
    while (start <= script.size()) {
        std::size_t end = script.find('\n', start);
        std::string_view line = script.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        std::size_t indent = line.find_first_not_of(" \t");
        line = indent == std::string_view::npos ? std::string_view() : line.substr(indent);
        bool list = line.substr(0, kList.size()) == kList;
        if (list || line.substr(0, kTell.size()) == kTell) {
            auto texts = quoted(line);
            if (!texts.empty())
                return list ? StoredActionAddress { texts, true } : StoredActionAddress { { texts.front() }, false };
        }
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return std::nullopt;
}

} // namespace mq::sim
