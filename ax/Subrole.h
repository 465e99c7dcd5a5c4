// Accessibility subrole names ("AXStandardWindow", "AXDialog", ...) as an enumeration.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "ax/detail/CaseList.h"

// clang-format off
#define MQ_AX_SUBROLES(X) \
    X(unknown) X(closeButton) X(zoomButton) X(minimizeButton) X(toolbarButton) X(tableRow) X(outlineRow) \
    X(secureTextField) X(standardWindow) X(dialog) X(systemDialog) X(floatingWindow) \
    X(systemFloatingWindow) X(incrementArrow) X(decrementArrow) X(incrementPage) X(decrementPage) \
    X(searchField) X(textAttachment) X(textLink) X(timeline) X(sortButton) X(ratingIndicator) \
    X(contentList) X(definitionList) X(fullScreenButton) X(toggle) X(switchSubrole) X(descriptionList)
// clang-format on

namespace mq::ax {

enum class Subrole : std::uint8_t { MQ_AX_SUBROLES(MQ_AX_ENUMERATOR) };

inline constexpr std::size_t kSubroleCount = 0 MQ_AX_SUBROLES(MQ_AX_COUNT);

/// "AX" and the case name with its first letter in upper case, except
/// `switchSubrole` "AXSwitch".
std::string_view rawValue(Subrole subrole);
std::string_view caseName(Subrole subrole);
/// The case whose raw value is `raw`; nothing for any other string.
[[nodiscard]] std::optional<Subrole> subroleFromRawValue(std::string_view raw);
const std::array<Subrole, kSubroleCount>& allSubroles();

} // namespace mq::ax
