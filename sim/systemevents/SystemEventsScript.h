// The "System Events" script dialect that the helper's keystroke scripts use,
// compiled into the steps that logicsim carries out:
//
//   tell application "System Events"
//       tell process "NAME"
//           key code N
//           keystroke "TEXT"                      (AppleScript string escapes)
//           keystroke tab | keystroke return
//           keystroke "x" using {command down}    ({command down, shift down})
//           delay N
//       end tell
//   end tell
//
// Indentation and blank lines are free; anything else is a compile error.
#pragma once

#include "marquee/Expected.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mq::sim::systemevents {

namespace modifier {
inline constexpr unsigned command = 1;
inline constexpr unsigned shift = 2;
} // namespace modifier

struct Step {
    enum class Kind { keyCode, text, tab, returnKey, delay };
    Kind kind { Kind::keyCode };
    std::uint16_t keyCode { 0 }; // keyCode
    std::string text; // text: the string's characters, escapes resolved (UTF-8)
    unsigned modifiers { 0 }; // text: modifier::command | modifier::shift
    double seconds { 0 }; // delay

    friend bool operator==(const Step&, const Step&) = default;
};

struct Script {
    std::string processName;
    std::vector<Step> steps;
};

/// Why a source does not compile, and where (byte offset and length in the source).
struct CompileError {
    std::string message;
    std::size_t offset { 0 };
    std::size_t length { 0 };
};

[[nodiscard]] Expected<Script, CompileError> compile(std::string_view source);

} // namespace mq::sim::systemevents
