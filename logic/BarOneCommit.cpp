#include "logic/BarOneCommit.h"

#include "ax/ElementQueries.h"
#include "platform/Dispatch.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace mq::logic {

namespace {

constexpr double kPollSeconds = 0.02;

std::optional<std::string> barsGroupText(const ax::UIElement& dialog)
{
    auto children = ax::arrayOrNothing<ax::UIElement>(dialog, ax::Attribute::children);
    if (!children || children->size() < 2)
        return std::nullopt;
    return ax::attributeOrNothing<std::string>((*children)[1], ax::Attribute::value);
}

} // namespace

bool showsBarOne(std::string_view barsText)
{
    int numbers = 0;
    std::string digits;
    for (char c : std::string(barsText) + ' ') {
        if (c >= '0' && c <= '9') {
            digits.push_back(c);
            continue;
        }
        if (digits.empty())
            continue;
        if (digits.find_first_not_of('0') != digits.size() - 1 || digits.back() != '1')
            return false;
        ++numbers;
        digits.clear();
    }
    return numbers > 0;
}

bool waitForBarOneTaken(const ax::UIElement& dialog, double timeoutSeconds)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    for (;;) {
        if (auto text = barsGroupText(dialog); text && showsBarOne(*text))
            return true;
        if (Clock::now() >= deadline)
            return false;
        sleepForSeconds(kPollSeconds);
    }
}

} // namespace mq::logic
