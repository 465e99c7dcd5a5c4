#include "logic/ServiceLog.h"

namespace mq::logic {

const log::Logger& serviceLog()
{
    static const log::Logger logger("helper.service");
    return logger;
}

} // namespace mq::logic
