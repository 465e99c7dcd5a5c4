// A bounded wait for a condition that another thread or process makes true.
#pragma once

#include <chrono>
#include <thread>

namespace mq::test {

/// Checks `condition` every `interval` until it holds or `limit` has passed.
/// True when it held; the last check is made at the limit, so a condition that
/// becomes true just in time still counts.
template<typename Condition>
bool eventually(Condition&& condition, std::chrono::milliseconds limit,
    std::chrono::milliseconds interval = std::chrono::milliseconds(5))
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        std::this_thread::sleep_for(interval);
    }
    return condition();
}

} // namespace mq::test
