// Where the helper's request channel lives: a Unix socket named after the service.
#pragma once

#include "marquee/Expected.h"

#include <string>
#include <string_view>

namespace mq::ipc {

inline constexpr std::string_view kServiceName = "com.quillmoor.marquee.helper";

/// $XDG_RUNTIME_DIR/com.quillmoor.marquee.helper; without XDG_RUNTIME_DIR, the same
/// name in a private 0700 directory /tmp/marquee-<uid>, created when missing.
/// Fails, saying why, when that directory cannot be made or exists but is not
/// ours or not private.
[[nodiscard]] Expected<std::string, std::string> serviceSocketPath();

} // namespace mq::ipc
