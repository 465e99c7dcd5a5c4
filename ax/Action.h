// Accessibility action names ("AXPress", ...) as an enumeration.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "ax/detail/CaseList.h"

// `delete_` is the case "delete", escaped because it is a C++ keyword.
// clang-format off
#define MQ_AX_ACTIONS(X) \
    X(press) X(increment) X(decrement) X(confirm) X(pick) X(cancel) X(raise) X(showMenu) X(delete_) \
    X(showAlternateUI) X(showDefaultUI)
// clang-format on

namespace mq::ax {

enum class Action : std::uint8_t { MQ_AX_ACTIONS(MQ_AX_ENUMERATOR) };

inline constexpr std::size_t kActionCount = 0 MQ_AX_ACTIONS(MQ_AX_COUNT);

/// "AX" and the case name with its first letter in upper case ("AXShowMenu", "AXDelete").
std::string_view rawValue(Action action);
std::string_view caseName(Action action);
/// The case whose raw value is `raw`; nothing for any other string.
[[nodiscard]] std::optional<Action> actionFromRawValue(std::string_view raw);
const std::array<Action, kActionCount>& allActions();

} // namespace mq::ax
