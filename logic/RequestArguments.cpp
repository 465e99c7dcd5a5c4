#include "logic/RequestArguments.h"

#include <fmt/format.h>

#include <cmath>

namespace mq::logic {

namespace {

std::string secondsText(double seconds)
{
    return fmt::format("{}", seconds);
}

} // namespace

std::optional<std::string> refusedPosition(std::string_view argument, double seconds)
{
    if (!std::isfinite(seconds) || std::fabs(seconds) > kMaxArgumentSeconds)
        return fmt::format("Invalid {}: {} is not a position in seconds", argument, secondsText(seconds));
    return std::nullopt;
}

std::optional<std::string> refusedDuration(std::string_view argument, double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0 || seconds > kMaxArgumentSeconds)
        return fmt::format("Invalid {}: {} is not a length in seconds (0 or more)", argument, secondsText(seconds));
    return std::nullopt;
}

std::optional<std::string> refusedName(std::string_view argument, std::string_view name)
{
    for (std::size_t i = 0; i < name.size(); ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        bool control = c < 0x20 || c == 0x7f;
        // U+0080 to U+009F (NEL among them), U+2028 and U+2029: line breaks and
        // controls outside ASCII.
        if (c == 0xC2 && i + 1 < name.size())
            control = control || (static_cast<unsigned char>(name[i + 1]) >= 0x80 && static_cast<unsigned char>(name[i + 1]) <= 0x9F);
        if (c == 0xE2 && i + 2 < name.size())
            control = control || (static_cast<unsigned char>(name[i + 1]) == 0x80
                && (static_cast<unsigned char>(name[i + 2]) == 0xA8 || static_cast<unsigned char>(name[i + 2]) == 0xA9));
        if (control)
            return fmt::format("Invalid {}: it holds a line break or another control character", argument);
    }
    return std::nullopt;
}

std::optional<std::string> refusedFileURL(std::string_view argument, const URL& url)
{
    if (!url.isFileURL())
        return std::nullopt;
    std::string path = url.path();
    if (path.find('\0') != std::string::npos)
        return fmt::format("Invalid {}: its path holds a NUL byte", argument);
    if (path.empty() || path.front() != '/')
        return fmt::format("Invalid {}: its path is not absolute", argument);
    return std::nullopt;
}

std::optional<std::string> firstRefusal(std::initializer_list<std::optional<std::string>> refusals)
{
    for (const auto& refusal : refusals)
        if (refusal)
            return refusal;
    return std::nullopt;
}

} // namespace mq::logic
