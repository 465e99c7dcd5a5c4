// marquee timecode: the helper's SMPTE conversions, run by hand. Converts seconds
// to components and typed text, reads a timecode element's value text, or reads
// the control-bar display text. Needs no helper running.
#include "client/cli/Commands.h"
#include "client/cli/InputChecks.h"
#include "client/cli/Output.h"

#include "marquee/SMPTEComponents.h"
#include "timecode/TimecodeFields.h"
#include "timecode/TimecodeLayout.h"
#include "timecode/TimecodeParsing.h"
#include "timecode/TypedTimecodeText.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <array>
#include <charconv>
#include <cmath>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mq::cli {

namespace {

using timecode::TimecodeLayout;

// Exit statuses: a text that is no timecode is an answer (1); bad usage,
// fields out of range included, is 2.

// Digit counts accepted for --layout secondsFraction:N. Logic shows at least 3.
constexpr int kMinFractionDigits = 3;
constexpr int kMaxFractionDigits = 64;

struct TimecodeOptions {
    std::optional<std::string> seconds;
    std::optional<std::string> parse;
    std::optional<std::string> lcd;
    std::string fps;
    std::string layout { "frames" };
    bool dropFrame { false };
    CommonOptions common { commonOptionsFor("timecode") };
};

std::string inQuotes(std::string_view text)
{
    return '"' + std::string(text) + '"';
}

// Set while a conversion runs, for fail().
const CommonOptionValues* g_reporting = nullptr;

[[noreturn]] void fail(const std::string& message)
{
    exitForUsage(*g_reporting, message);
}

/// Fails when the hh:mm:ss:ff digits of `text` are out of range at `rate`.
void checkFieldsInRange(std::string_view text, long hours, long minutes, long seconds, long frames, double rate)
{
    if (auto problem = timecodeFieldsProblem(hours, minutes, seconds, frames, rate))
        fail(inQuotes(text) + ": " + *problem);
}

// A finite decimal number, the whole text and nothing else; "nan", "inf" and
// values beyond the double range are refused.
double finiteNumber(std::string_view option, std::string_view text)
{
    double value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error == std::errc::invalid_argument || stop != end)
        fail(std::string(option) + " needs a number, got " + inQuotes(text));
    if (error == std::errc::result_out_of_range || !std::isfinite(value))
        fail(std::string(option) + " needs a finite number, got " + inQuotes(text));
    return value;
}

double frameRateOption(const TimecodeOptions& options)
{
    const double rate = finiteNumber("--fps", options.fps);
    if (!(rate > 0))
        fail("--fps must be greater than 0, got " + inQuotes(options.fps));
    return rate;
}

TimecodeLayout layoutOption(const std::string& name)
{
    if (name == "frames")
        return TimecodeLayout::frames();
    if (name == "subframes")
        return TimecodeLayout::subframes();
    if (name == "quarterFrames")
        return TimecodeLayout::quarterFrames();
    if (name == "samples")
        return TimecodeLayout::samples();
    constexpr std::string_view kFractionPrefix = "secondsFraction:";
    if (name.starts_with(kFractionPrefix)) {
        const std::string_view digitsText = std::string_view(name).substr(kFractionPrefix.size());
        int digits = 0;
        const auto [stop, error] = std::from_chars(digitsText.data(), digitsText.data() + digitsText.size(), digits);
        const bool whole = !digitsText.empty() && digitsText.front() != '-' && stop == digitsText.data() + digitsText.size();
        if (error != std::errc {} || !whole || digits < kMinFractionDigits || digits > kMaxFractionDigits)
            fail("secondsFraction:N needs N from " + std::to_string(kMinFractionDigits) + " to "
                + std::to_string(kMaxFractionDigits) + ", got " + inQuotes(name));
        return TimecodeLayout::secondsFraction(digits);
    }
    fail("unknown layout " + inQuotes(name)
        + "; use frames, subframes, quarterFrames, samples or secondsFraction:N");
}

// The layout in --layout's own spelling, so that output can be fed back.
std::string layoutName(const TimecodeLayout& layout)
{
    if (layout.kind() == TimecodeLayout::Kind::secondsFraction)
        return "secondsFraction:" + std::to_string(layout.digits());
    return timecode::toString(layout);
}

// The shortest text that reads back as the same double.
std::string numberText(double value)
{
    std::array<char, 32> buffer {};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    if (error != std::errc {})
        return "?";
    return std::string(buffer.data(), end);
}

void printRow(std::string_view name, const std::string& value)
{
    std::cout << name << std::string(name.size() < 12 ? 12 - name.size() : 1, ' ') << value << '\n';
}

void convertSeconds(const TimecodeOptions& options)
{
    const double seconds = finiteNumber("--seconds", *options.seconds);
    const double rate = frameRateOption(options);
    const TimecodeLayout layout = layoutOption(options.layout);
    const timecode::SMPTEComponents components = timecode::smpteComponents(seconds, rate, options.dropFrame);
    const std::string typed = timecode::typedTimecodeText(components, layout, rate);

    if (options.common->json) {
        const nlohmann::json out {
            { "seconds", seconds },
            { "fps", rate },
            { "dropFrame", options.dropFrame },
            { "layout", layoutName(layout) },
            { "components",
                { { "hours", components.hours }, { "minutes", components.minutes }, { "seconds", components.seconds },
                    { "frames", components.frames }, { "fraction", components.fraction } } },
            { "typed", typed },
        };
        printJSONReply(*options.common, out);
        return;
    }
    printRow("hours", std::to_string(components.hours));
    printRow("minutes", std::to_string(components.minutes));
    printRow("seconds", std::to_string(components.seconds));
    printRow("frames", std::to_string(components.frames));
    printRow("fraction", numberText(components.fraction));
    printRow("layout", layoutName(layout));
    printRow("typed", typed);
}

void parseValueText(const TimecodeOptions& options)
{
    const std::string& text = *options.parse;
    const double rate = frameRateOption(options);
    const std::optional<timecode::TimecodeFields> fields = timecode::parseTimecodeValueText(text);

    if (!fields) {
        exitForFailure(*options.common, inQuotes(text) + " is not a timecode", { { "text", text }, { "fps", rate }, { "timecode", false } });
    }
    checkFieldsInRange(text, fields->hours, fields->minutes, fields->seconds, fields->frames, rate);

    const std::string display = timecode::timecodeDisplayText(*fields);
    const double seconds = timecode::fieldsToSeconds(*fields, rate);
    if (options.common->json) {
        const nlohmann::json out {
            { "text", text },
            { "fps", rate },
            { "timecode", true },
            { "layout", layoutName(fields->layout) },
            { "displayMode", timecode::displayMode(fields->layout) },
            { "fields",
                { { "hours", fields->hours }, { "minutes", fields->minutes }, { "seconds", fields->seconds },
                    { "frames", fields->frames }, { "subField", fields->subField } } },
            { "display", display },
            { "seconds", seconds },
        };
        printJSONReply(*options.common, out);
        return;
    }
    printRow("layout", layoutName(fields->layout) + " (display mode " + std::to_string(timecode::displayMode(fields->layout)) + ")");
    printRow("hours", std::to_string(fields->hours));
    printRow("minutes", std::to_string(fields->minutes));
    printRow("seconds", std::to_string(fields->seconds));
    printRow("frames", std::to_string(fields->frames));
    printRow("subField", std::to_string(fields->subField));
    printRow("display", display);
    printRow("position", numberText(seconds) + " s");
}

void readDisplayText(const TimecodeOptions& options)
{
    const std::string& text = *options.lcd;
    const double rate = frameRateOption(options);
    const std::optional<double> seconds = timecode::parseLCDTimecode(text, rate);
    if (seconds) {
        // The display's four runs of digits, as parseLCDTimecode reads them.
        std::vector<long> runs;
        for (std::size_t at = text.find_first_of("0123456789"); at != std::string::npos; at = text.find_first_of("0123456789", at)) {
            std::size_t end = text.find_first_not_of("0123456789", at);
            runs.push_back(std::stol(text.substr(at, end == std::string::npos ? std::string::npos : end - at).substr(0, 9)));
            at = end;
        }
        if (runs.size() == 4)
            checkFieldsInRange(text, runs[0], runs[1], runs[2], runs[3], rate);
    }

    if (!seconds) {
        exitForFailure(*options.common, inQuotes(text) + " does not convert to seconds (expected hh:mm:ss:ff)",
            { { "text", text }, { "fps", rate }, { "seconds", nullptr } });
    }
    if (options.common->json)
        printJSONReply(*options.common, { { "text", text }, { "fps", rate }, { "seconds", *seconds } });
    else
        printRow("position", numberText(*seconds) + " s");
}

void runTimecode(const TimecodeOptions& options)
{
    g_reporting = options.common.get();
    const int modes = (options.seconds ? 1 : 0) + (options.parse ? 1 : 0) + (options.lcd ? 1 : 0);
    if (modes != 1)
        fail("give exactly one of --seconds, --parse or --lcd");
    if (options.seconds)
        convertSeconds(options);
    else if (options.parse)
        parseValueText(options);
    else
        readDisplayText(options);
}

} // namespace

void addTimecodeCommands(CLI::App& app)
{
    auto options = std::make_shared<TimecodeOptions>();
    CLI::App* command = app.add_subcommand("timecode", "SMPTE timecode conversions; needs no helper");

    CLI::Option* seconds = command->add_option("--seconds", options->seconds, "Position in seconds to convert to timecode")->type_name("SECONDS");
    CLI::Option* parse = command->add_option("--parse", options->parse, "Timecode element text to read, e.g. 01:00:00:00.40");
    CLI::Option* lcd = command->add_option("--lcd", options->lcd, "Control-bar display text to read, e.g. 01:00:00:12");
    command->add_option("--fps", options->fps, "Frame rate in frames per second, e.g. 29.97")->type_name("FPS")->required();
    CLI::Option* dropFrame = command->add_flag("--drop-frame", options->dropFrame, "Count drop-frame labels (with --seconds)");
    CLI::Option* layout = command->add_option("--layout", options->layout,
        "Layout of the typed text (with --seconds): frames, subframes, quarterFrames, samples or secondsFraction:N")
                                  ->type_name("LAYOUT");
    addJSONFlag(command, options->common);

    seconds->excludes(parse)->excludes(lcd);
    parse->excludes(lcd);
    dropFrame->needs(seconds);
    layout->needs(seconds);

    command->callback([options] { runTimecode(*options); });
}

} // namespace mq::cli
