#include "platform/Dispatch.h"

#include <cmath>
#include <thread>

namespace mq {

void sleepForSeconds(double seconds)
{
    if (!(seconds > 0) || !std::isfinite(seconds))
        return;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

} // namespace mq
