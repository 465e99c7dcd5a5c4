// The wire between the logicsim backend and logicsim: one JSON object per line
// over a Unix stream socket, and the JSON form of the seam's values (CFValue).
// The same encoding is used for attribute values in logicsim's scenario files.
// sim/README.md describes the protocol in full.
#pragma once

#include "platform/CoreTypes.h"
#include "platform/linux/LogicSimOps.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace mq::platform::wire {

/// The socket's file name inside $XDG_RUNTIME_DIR.
inline constexpr const char* kSocketName = "logicsim.sock";
/// The longest line either side accepts; a longer one closes the connection.
inline constexpr size_t kMaxLineBytes = 64 * 1024 * 1024;

/// "$XDG_RUNTIME_DIR/logicsim.sock", or nothing when the variable is unset or empty.
[[nodiscard]] std::optional<std::string> defaultSocketPath();

/// Encodes a value. Lossless for every CFValue: doubles stay doubles (NaN and
/// infinities included), integers stay integers.
nlohmann::json encode(const CFValue& value);

/// Decodes a value; nothing when the JSON is not a valid encoding.
[[nodiscard]] std::optional<CFValue> decode(const nlohmann::json& json);

/// Bytes as lower-case hex digits, the way data travels on the wire.
std::string hexEncode(std::string_view bytes);
/// Hex digits (either case) back to bytes; nothing when `text` is not an even
/// number of hex digits.
[[nodiscard]] std::optional<std::string> hexDecode(std::string_view text);

nlohmann::json encodeElement(const AXElementRef& element);
[[nodiscard]] std::optional<AXElementRef> decodeElement(const nlohmann::json& json);

} // namespace mq::platform::wire
