// The marquee tool checks what a user types before anything is sent: numbers
// are finite, frame rates positive, colours a cell of Logic's grid or -1, and
// timecode fields in range for the frame rate. Negative numbers may be given
// where a value is expected ("marquee goto -5"), which CLI11 alone would take
// for an option.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mq::cli {

/// The colours a request accepts: a cell of Logic's Colors grid, or -1 for none.
inline constexpr std::int64_t kNoColor = -1;
inline constexpr std::int64_t kLastColor = 95;

/// A finite decimal number ("nan", "inf" and overflowing values are refused).
extern const CLI::Validator kFiniteNumber;
/// A finite number greater than 0 (frames per second).
extern const CLI::Validator kFrameRate;
/// A whole number from -1 to 95.
extern const CLI::Validator kColorIndex;
/// An unsigned 32-bit whole number (a stored action's code).
extern const CLI::Validator kActionCode;

/// Why `text` is not a finite number, or nothing.
[[nodiscard]] std::optional<std::string> finiteNumberProblem(std::string_view text);
/// Why `color` is not -1 or a cell of the Colors grid, or nothing.
[[nodiscard]] std::optional<std::string> colorIndexProblem(std::int64_t color);

/// Why hh:mm:ss:ff fields do not name a frame at `frameRate`, or nothing: hours
/// 0-23, minutes and seconds 0-59, frames below the rate rounded up.
[[nodiscard]] std::optional<std::string> timecodeFieldsProblem(long hours, long minutes, long seconds, long frames, double frameRate);

/// Seconds from "3602.5" or from "01:00:02:00" at `frameRate`; else why not.
struct SecondsOrProblem {
    std::optional<double> seconds;
    std::string problem;
};
SecondsOrProblem secondsOrTimecode(std::string_view text, double frameRate);

/// The arguments after the program name, in the reversed order CLI11 parses,
/// with negative numbers marked so that CLI11 takes them for values.
std::vector<std::string> argumentsForParsing(int argc, char** argv);
/// Makes every option of `app` and its subcommands read marked negative numbers
/// back as they were typed. Call once every command is added.
void acceptNegativeNumbers(CLI::App& app);

} // namespace mq::cli
