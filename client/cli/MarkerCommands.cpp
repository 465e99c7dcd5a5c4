// `marquee marker`, `marquee markers`, `marquee colors-avoid`: markers over clips
// as a plug-in makes them. `markers` reads a list of clips (CSV or JSON), makes
// one marker each (with a progress bar on a terminal), and closes the batch at
// the end, as the plug-in does after its last clip.
#include "client/cli/Commands.h"
#include "client/cli/InputChecks.h"
#include "client/cli/Output.h"

#include "marquee/HelperConnection.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>

namespace mq::cli {

namespace {

struct MarkerOptions {
    double frameRate { 25 };
    bool dropFrame { false };
    std::int64_t color { -1 };
    double pacing { 0 };
};

struct Clip {
    double start { 0 };
    double duration { 0 };
    std::string name;
    std::optional<std::int64_t> color;
};

void addMarkerOptions(CLI::App* command, MarkerOptions& options, const char* colorHelp)
{
    command->add_option("--fps,--frame-rate", options.frameRate, "frames per second of the clips' timeline")->required()->check(kFrameRate);
    command->add_flag("--df,--drop-frame", options.dropFrame, "drop-frame counting");
    command->add_option("--color", options.color, colorHelp)->check(kColorIndex);
    command->add_option("--pacing", options.pacing, "seconds to pause between Logic's interface steps")->check(kFiniteNumber);
}

/// A problem in the list of clips, at a line (0 for JSON) and a field.
struct ClipError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One field of a CSV line: plain, or in double quotes with "" for a quote.
std::vector<std::string> csvFields(const std::string& line)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"')
                fields.back().push_back(line[++i]);
            else if (c == '"')
                quoted = false;
            else
                fields.back().push_back(c);
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c != '\r') {
            fields.back().push_back(c);
        }
    }
    if (quoted)
        throw ClipError("an unclosed quote");
    return fields;
}

double number(const std::string& text, const std::string& field)
{
    if (auto problem = finiteNumberProblem(text))
        throw ClipError(field + ": " + *problem);
    return std::stod(text);
}

std::int64_t color(std::int64_t value, const std::string& field)
{
    if (auto problem = colorIndexProblem(value))
        throw ClipError(field + ": " + *problem);
    return value;
}

std::int64_t wholeColor(const std::string& text, const std::string& field)
{
    double value = number(text, field);
    if (value != std::floor(value))
        throw ClipError(field + ": '" + text + "' is not a whole number");
    return color(static_cast<std::int64_t>(value), field);
}

/// Clips from a JSON array of {"start", "duration", "name", "color"} or from CSV
/// lines "start,duration,name[,color]" (a first line naming the columns is skipped).
/// Every problem names the file, the line (CSV) or clip (JSON), and the field.
std::vector<Clip> readClips(const CommonOptionValues& common, const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        exitForUsage(common, "cannot read " + path);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    std::vector<Clip> clips;
    auto first = text.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && (text[first] == '[' || text[first] == '{')) {
        std::size_t index = 0;
        try {
            auto list = nlohmann::json::parse(text);
            if (list.is_object())
                list = list.at("clips");
            for (; index < list.size(); ++index) {
                const auto& c = list.at(index);
                auto field = [&](const char* name) -> const nlohmann::json& {
                    if (!c.contains(name))
                        throw ClipError(std::string(name) + ": missing");
                    return c.at(name);
                };
                auto finite = [&](const char* name) {
                    const auto& value = field(name);
                    if (!value.is_number() || !std::isfinite(value.get<double>()))
                        throw ClipError(std::string(name) + ": " + value.dump() + " is not a finite number");
                    return value.get<double>();
                };
                if (!field("name").is_string())
                    throw ClipError("name: " + field("name").dump() + " is not a text");
                Clip clip { finite("start"), finite("duration"), field("name").get<std::string>(), std::nullopt };
                if (c.contains("color") && !c["color"].is_null()) {
                    if (!c["color"].is_number_integer())
                        throw ClipError("color: " + c["color"].dump() + " is not a whole number");
                    clip.color = color(c["color"].get<std::int64_t>(), "color");
                }
                clips.push_back(std::move(clip));
            }
        } catch (const ClipError& e) {
            exitForUsage(common, path + ": clip " + std::to_string(index + 1) + ": " + e.what());
        } catch (const std::exception& e) {
            exitForUsage(common, path + ": " + e.what());
        }
        return clips;
    }
    std::istringstream lines(text);
    std::string line;
    int lineNumber = 0;
    static const char* const kFields[] = { "start", "duration", "name", "color" };
    while (std::getline(lines, line)) {
        ++lineNumber;
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        try {
            auto fields = csvFields(line);
            if (lineNumber == 1 && fields[0] == "start")
                continue;
            if (fields.size() < 3 || fields.size() > 4)
                throw ClipError(std::to_string(fields.size()) + " fields where start,duration,name[,color] are needed");
            Clip clip { number(fields[0], kFields[0]), number(fields[1], kFields[1]), fields[2], std::nullopt };
            if (fields.size() == 4 && !fields[3].empty())
                clip.color = wholeColor(fields[3], kFields[3]);
            clips.push_back(std::move(clip));
        } catch (const std::exception& e) {
            exitForUsage(common, path + ":" + std::to_string(lineNumber) + ": " + e.what());
        }
    }
    return clips;
}

/// A progress bar on standard error, redrawn in place: only on a terminal.
void drawProgress(const CommonOptionValues& common, std::size_t done, std::size_t total, const std::string& name)
{
    if (!progressWanted(common))
        return;
    constexpr std::size_t width = 30;
    std::size_t filled = total ? done * width / total : width;
    std::cerr << "\r[" << std::string(filled, '#') << std::string(width - filled, '-') << "] " << done << "/" << total << " " << name
              << "\033[K" << std::flush;
}

void endProgress(const CommonOptionValues& common)
{
    if (progressWanted(common))
        std::cerr << "\n";
}

void addMarkerCommand(CLI::App& app)
{
    auto common = commonOptionsFor("marker");
    auto options = std::make_shared<MarkerOptions>();
    auto clip = std::make_shared<Clip>();
    auto* command = app.add_subcommand("marker",
        "create a named, coloured marker over a clip (createLogicMarkerWithTimecodeSeconds:...); close the batch with colors-close");
    command->add_option("start", clip->start, "the clip's start, in seconds")->required()->check(kFiniteNumber);
    command->add_option("duration", clip->duration, "the clip's length, in seconds")->required()->check(kFiniteNumber);
    command->add_option("name", clip->name, "the marker's name")->required();
    addMarkerOptions(command, *options, "a cell of Logic's Colors grid, 0 to 95 (-1, the default: no colour)");
    add(command, common);
    command->callback([common, options, clip] {
        auto connection = connectOrExit(*common);
        callAndPrint<protocol::createLogicMarkerWithTimecodeSeconds>(*connection, *common,
            { clip->start, clip->duration, clip->name, options->color, options->pacing, options->frameRate, options->dropFrame });
    });
}

void addMarkersCommand(CLI::App& app)
{
    auto common = commonOptionsFor("markers");
    auto options = std::make_shared<MarkerOptions>();
    auto path = std::make_shared<std::string>();
    auto* command = app.add_subcommand("markers",
        "create one marker per clip of a CSV (start,duration,name[,color]) or JSON list, then close the batch (closeColorsWindowWithReply:)");
    command->add_option("file", *path, "the list of clips")->required();
    addMarkerOptions(command, *options, "the colour of clips that name none (-1, the default: no colour)");
    add(command, common);
    command->callback([common, options, path] {
        std::vector<Clip> clips = readClips(*common, *path);
        auto connection = connectOrExit(*common);
        std::size_t failures = 0;
        nlohmann::json results = nlohmann::json::array();
        for (std::size_t i = 0; i < clips.size(); ++i) {
            const Clip& c = clips[i];
            drawProgress(*common, i, clips.size(), c.name);
            auto result = connection->call<protocol::createLogicMarkerWithTimecodeSeconds>(
                { c.start, c.duration, c.name, c.color.value_or(options->color), options->pacing, options->frameRate, options->dropFrame },
                common->timeout());
            if (!result) {
                endProgress(*common);
                exitForClientError(*common, result.error());
            }
            auto [ok, viewOffset, error] = result.value();
            failures += ok ? 0 : 1;
            results.push_back(nlohmann::json { { "name", c.name }, { "ok", ok }, { "error", error ? nlohmann::json(error->localizedDescription) : nlohmann::json(nullptr) } });
            if (!ok && !common->json) {
                endProgress(*common);
                std::cerr << "marquee markers: " << c.name << ": " << (error ? error->localizedDescription : "failed") << "\n";
            }
        }
        drawProgress(*common, clips.size(), clips.size(), "done");
        endProgress(*common);
        // The batch ends as the plug-in ends it: the Colors window and the marker
        // track go back to how they were.
        if (auto closed = connection->closeColorsWindowWithReply({}, common->timeout()); !closed)
            exitForClientError(*common, closed.error());
        nlohmann::json reply { { "markers", results }, { "created", clips.size() - failures }, { "failed", failures } };
        if (failures > 0)
            exitForFailure(*common, std::to_string(failures) + " of " + std::to_string(clips.size()) + " markers failed", std::move(reply));
        if (common->json)
            printJSONReply(*common, std::move(reply));
        else
            std::cout << "markers: " << clips.size() << " of " << clips.size() << " created\n";
    });
}

void addColorsAvoidCommand(CLI::App& app)
{
    auto common = commonOptionsFor("colors-avoid");
    auto rect = std::make_shared<std::array<double, 4>>();
    auto* command = app.add_subcommand("colors-avoid",
        "the rectangle (AppKit screen coordinates) the Colors grid keeps clear of; a width or height of 0 clears it "
        "(setColorsWindowAvoidRectX:y:width:height:withReply:)");
    command->add_option("x", (*rect)[0], "left edge")->required()->check(kFiniteNumber);
    command->add_option("y", (*rect)[1], "bottom edge (from the bottom of the primary screen)")->required()->check(kFiniteNumber);
    command->add_option("width", (*rect)[2], "width")->required()->check(kFiniteNumber);
    command->add_option("height", (*rect)[3], "height")->required()->check(kFiniteNumber);
    add(command, common);
    command->callback([common, rect] {
        auto connection = connectOrExit(*common);
        callAndPrint<protocol::setColorsWindowAvoidRectX>(*connection, *common, { (*rect)[0], (*rect)[1], (*rect)[2], (*rect)[3] });
    });
}

} // namespace

void addMarkerCommands(CLI::App& app)
{
    addMarkerCommand(app);
    addMarkersCommand(app);
    addColorsAvoidCommand(app);
}

} // namespace mq::cli
