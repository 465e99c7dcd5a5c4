#include "marquee/Version.h"

namespace mq::client {

std::string_view libraryVersion() { return MQ_VERSION; }

} // namespace mq::client
