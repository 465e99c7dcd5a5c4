// What the interpreter stand-in understands of a stored action script: the action
// code in its "property storedAction : CODE" line (logic/stored/template.txt).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mq::sim {

/// The code of the first "property storedAction : CODE" line, CODE being a whole
/// decimal number that fits 32 bits unsigned; nothing when there is no such line.
std::optional<std::uint32_t> storedActionCode(std::string_view script);

} // namespace mq::sim
