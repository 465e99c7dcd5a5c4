// The checks every Logic-driving request makes of its arguments before anything
// is sent to Logic: a value that cannot stand for a position, a length or a name
// would otherwise be typed as something else (a NaN timecode as 00:00:00:00, a
// line feed as a Return in the middle of a name, a path cut at a NUL byte).
#pragma once

#include "marquee/ServiceErrorCodes.h"
#include "marquee/URL.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace mq::logic {


/// The largest magnitude of a position or length in seconds (about 31 years):
/// beyond it a timecode's arithmetic no longer counts frames exactly, and no
/// Logic project is that long.
inline constexpr double kMaxArgumentSeconds = 1e9;

/// Why a position in seconds is refused: not a finite number, or beyond
/// kMaxArgumentSeconds either way. A negative position is accepted: it is
/// clamped to 0 where it is typed.
[[nodiscard]] std::optional<std::string> refusedPosition(std::string_view argument, double seconds);

/// Why a length in seconds is refused: not a finite number, negative, or beyond
/// kMaxArgumentSeconds.
[[nodiscard]] std::optional<std::string> refusedDuration(std::string_view argument, double seconds);

/// Why a name typed into Logic (or sent as a region name) is refused: it holds a
/// line break or another control character, which a keystroke would turn into a
/// key (Return, Tab, Escape) rather than text.
[[nodiscard]] std::optional<std::string> refusedName(std::string_view argument, std::string_view name);

/// Why a file URL is refused: its decoded path holds a NUL byte (the system would
/// cut the path there) or is relative (it would name a file under whatever
/// directory Logic runs in). A URL of another scheme is left to the operation.
[[nodiscard]] std::optional<std::string> refusedFileURL(std::string_view argument, const URL& url);

/// The first refusal of `refusals` (the arguments in the request's order), if any.
[[nodiscard]] std::optional<std::string> firstRefusal(std::initializer_list<std::optional<std::string>> refusals);

} // namespace mq::logic
