// What the interpreter stand-in understands of a stored action script: the action
// code in its "property storedAction : CODE" line (logic/stored/template.txt).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mq::sim {

/// The code of the first "property storedAction : CODE" line, CODE being a whole
/// decimal number that fits 32 bits unsigned; nothing when there is no such line.
std::optional<std::uint32_t> storedActionCode(std::string_view script);

/// Whom a stored action script addresses: one application by bundle identifier
/// (`tell application id "ID"`, which launches it when it does not run), or the
/// first of a list that runs (`property logicIds : {"A", "B"}`; the script ends
/// with error -600 when none runs).
struct StoredActionAddress {
    std::vector<std::string> bundleIdentifiers;
    bool firstRunningOnly { false };
};

/// The script's address; nothing when it names no application.
std::optional<StoredActionAddress> storedActionAddress(std::string_view script);

} // namespace mq::sim
