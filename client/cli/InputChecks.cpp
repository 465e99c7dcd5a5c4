#include "client/cli/InputChecks.h"

#include "timecode/TimecodeParsing.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <regex>

namespace mq::cli {

namespace {

// CLI11 reads any argument that starts with '-' as an option. A negative number
// gets this prefix before parsing, which every option strips again.
constexpr char kNegativeNumberMark = '\x1f';

bool isNegativeNumber(std::string_view text)
{
    static const std::regex kNegative(R"(-(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?)");
    return std::regex_match(text.begin(), text.end(), kNegative);
}

std::optional<double> parseDouble(std::string_view text)
{
    double value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || stop != end || error != std::errc {} || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<long> parseWhole(std::string_view text)
{
    long value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || stop != end || error != std::errc {})
        return std::nullopt;
    return value;
}

} // namespace

std::optional<std::string> finiteNumberProblem(std::string_view text)
{
    if (parseDouble(text))
        return std::nullopt;
    return "'" + std::string(text) + "' is not a finite number";
}

std::optional<std::string> colorIndexProblem(std::int64_t color)
{
    if (color >= kNoColor && color <= kLastColor)
        return std::nullopt;
    return "colour " + std::to_string(color) + " is not a cell of the Colors grid (0 to 95, or -1 for none)";
}

const CLI::Validator kFiniteNumber(
    [](std::string& text) { return finiteNumberProblem(text).value_or(""); }, "NUMBER", "finite number");

const CLI::Validator kFrameRate(
    [](std::string& text) -> std::string {
        auto rate = parseDouble(text);
        if (!rate || !(*rate > 0))
            return "'" + text + "' is not a frame rate (a finite number of frames per second above 0)";
        return {};
    },
    "FPS", "frame rate");

const CLI::Validator kColorIndex(
    [](std::string& text) -> std::string {
        auto color = parseWhole(text);
        if (!color)
            return "'" + text + "' is not a whole number";
        return colorIndexProblem(*color).value_or("");
    },
    "COLOR", "colour index");

const CLI::Validator kActionCode(
    [](std::string& text) -> std::string {
        auto code = parseWhole(text);
        if (!code || *code < 0 || *code > static_cast<long>(std::numeric_limits<std::uint32_t>::max()))
            return "'" + text + "' is not a code (a whole number from 0 to 4294967295)";
        return {};
    },
    "CODE", "action code");

std::optional<std::string> timecodeFieldsProblem(long hours, long minutes, long seconds, long frames, double frameRate)
{
    auto outOf = [](const char* field, long value, long limit) {
        return std::string(field) + " " + std::to_string(value) + " is out of range (0 to " + std::to_string(limit) + ")";
    };
    if (hours < 0 || hours > 23)
        return outOf("hours", hours, 23);
    if (minutes < 0 || minutes > 59)
        return outOf("minutes", minutes, 59);
    if (seconds < 0 || seconds > 59)
        return outOf("seconds", seconds, 59);
    const long framesPerSecond = static_cast<long>(std::ceil(frameRate));
    if (frames < 0 || frames >= framesPerSecond)
        return outOf("frames", frames, framesPerSecond - 1) + fmt::format(" at {} fps", frameRate);
    return std::nullopt;
}

SecondsOrProblem secondsOrTimecode(std::string_view text, double frameRate)
{
    if (text.find(':') == std::string_view::npos && text.find(';') == std::string_view::npos) {
        if (auto seconds = parseDouble(text))
            return { seconds, {} };
        return { std::nullopt, "'" + std::string(text) + "' is neither a finite number of seconds nor hh:mm:ss:ff" };
    }
    static const std::regex kTimecode(R"((\d{1,2}):(\d{1,2}):(\d{1,2})[:;](\d{1,3}))");
    std::match_results<std::string_view::const_iterator> match;
    if (!std::regex_match(text.begin(), text.end(), match, kTimecode))
        return { std::nullopt, "'" + std::string(text) + "' is not hh:mm:ss:ff" };
    long fields[4];
    for (int i = 0; i < 4; ++i)
        fields[i] = std::stol(match[i + 1].str());
    if (auto problem = timecodeFieldsProblem(fields[0], fields[1], fields[2], fields[3], frameRate))
        return { std::nullopt, "'" + std::string(text) + "': " + *problem };
    return { timecode::parseLCDTimecode(text, frameRate), {} };
}

std::vector<std::string> argumentsForParsing(int argc, char** argv)
{
    std::vector<std::string> arguments;
    for (int i = argc - 1; i > 0; --i) {
        std::string argument = argv[i];
        if (isNegativeNumber(argument))
            argument.insert(argument.begin(), kNegativeNumberMark);
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

void acceptNegativeNumbers(CLI::App& app)
{
    const CLI::Validator unmark(
        [](std::string& text) {
            if (!text.empty() && text.front() == kNegativeNumberMark)
                text.erase(0, 1);
            return std::string();
        },
        "", "negative number");
    for (CLI::Option* option : app.get_options({}))
        option->transform(unmark);
    for (CLI::App* command : app.get_subcommands({}))
        acceptNegativeNumbers(*command);
}

} // namespace mq::cli
