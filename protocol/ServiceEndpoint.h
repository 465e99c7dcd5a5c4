// Where the helper's request channel lives: a Unix socket named after the service.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mq::ipc {

inline constexpr std::string_view kServiceName = "com.quillmoor.marquee.helper";

/// $XDG_RUNTIME_DIR/com.quillmoor.marquee.helper; without XDG_RUNTIME_DIR, the same
/// name in a private 0700 directory /tmp/marquee-<uid>, created when missing.
/// Nothing when that directory exists but is not ours or not private.
std::optional<std::string> serviceSocketPath(std::string* whyNot = nullptr);

} // namespace mq::ipc
