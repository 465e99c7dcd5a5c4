// Where each backend of the log hands every line it writes, for LogCapture.
#pragma once

#include "platform/Log.h"

#include <string>
#include <string_view>

namespace mq::log {

/// Adds the line to every LogCapture alive now.
void captureLine(const std::string& category, Level level, std::string_view message);

} // namespace mq::log
