// The marquee-client library's version, for a plug-in to log or show.
#pragma once

#include <string_view>

namespace mq::client {

/// The version of the marquee-client library this program runs with, such as "0.1.0".
std::string_view libraryVersion();

} // namespace mq::client
