// `marquee marker`, `marquee markers`, `marquee colors-avoid`: markers over clips
// as a plug-in makes them. `markers` reads a list of clips (CSV or JSON), makes
// one marker each with a progress bar, and closes the batch at the end, as the
// plug-in does after its last clip.
#include "client/cli/Commands.h"
#include "client/cli/Output.h"

#include "client/HelperConnection.h"

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

[[noreturn]] void usage(const std::string& message)
{
    std::cerr << "marquee: " << message << "\n";
    throw CLI::RuntimeError(kExitUsage);
}

void addMarkerOptions(CLI::App* command, MarkerOptions& options, const char* colorHelp)
{
    command->add_option("--fps,--frame-rate", options.frameRate, "frames per second of the clips' timeline")->required();
    command->add_flag("--df,--drop-frame", options.dropFrame, "drop-frame counting");
    command->add_option("--color", options.color, colorHelp)->check(CLI::Range(-1, 95));
    command->add_option("--pacing", options.pacing, "seconds to pause between Logic's interface steps");
}

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
        throw std::runtime_error("an unclosed quote");
    return fields;
}

double number(const std::string& text, const char* what)
{
    std::size_t used = 0;
    double value = std::stod(text, &used);
    if (used != text.size() || !std::isfinite(value))
        throw std::runtime_error(std::string(what) + " '" + text + "' is not a number");
    return value;
}

/// Clips from a JSON array of {"start", "duration", "name", "color"} or from CSV
/// lines "start,duration,name[,color]" (a first line naming the columns is skipped).
std::vector<Clip> readClips(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        usage("cannot read " + path);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    std::vector<Clip> clips;
    try {
        auto first = text.find_first_not_of(" \t\r\n");
        if (first != std::string::npos && (text[first] == '[' || text[first] == '{')) {
            auto list = nlohmann::json::parse(text);
            if (list.is_object())
                list = list.at("clips");
            for (const auto& c : list) {
                Clip clip { c.at("start").get<double>(), c.at("duration").get<double>(), c.at("name").get<std::string>(), std::nullopt };
                if (c.contains("color") && !c["color"].is_null())
                    clip.color = c["color"].get<std::int64_t>();
                clips.push_back(std::move(clip));
            }
            return clips;
        }
        std::istringstream lines(text);
        std::string line;
        int lineNumber = 0;
        while (std::getline(lines, line)) {
            ++lineNumber;
            if (line.find_first_not_of(" \t\r") == std::string::npos)
                continue;
            auto fields = csvFields(line);
            if (lineNumber == 1 && fields[0] == "start")
                continue;
            if (fields.size() < 3 || fields.size() > 4)
                throw std::runtime_error("line " + std::to_string(lineNumber) + " needs start,duration,name[,color]");
            Clip clip { number(fields[0], "start"), number(fields[1], "duration"), fields[2], std::nullopt };
            if (fields.size() == 4 && !fields[3].empty())
                clip.color = static_cast<std::int64_t>(number(fields[3], "color"));
            clips.push_back(std::move(clip));
        }
    } catch (const std::exception& e) {
        usage(path + ": " + e.what());
    }
    return clips;
}

void drawProgress(std::size_t done, std::size_t total, const std::string& name)
{
    constexpr std::size_t width = 30;
    std::size_t filled = total ? done * width / total : width;
    std::cerr << "\r[" << std::string(filled, '#') << std::string(width - filled, '-') << "] " << done << "/" << total << " " << name
              << "\033[K" << std::flush;
}

void addMarkerCommand(CLI::App& app)
{
    auto common = std::make_shared<CommonOptionValues>();
    auto options = std::make_shared<MarkerOptions>();
    auto clip = std::make_shared<Clip>();
    auto* command = app.add_subcommand("marker",
        "create a named, coloured marker over a clip (createLogicMarkerWithTimecodeSeconds:...); close the batch with colors-close");
    command->add_option("start", clip->start, "the clip's start, in seconds")->required();
    command->add_option("duration", clip->duration, "the clip's length, in seconds")->required();
    command->add_option("name", clip->name, "the marker's name")->required();
    addMarkerOptions(command, *options, "a cell of Logic's Colors grid, 0 to 95 (-1, the default: no colour)");
    add(command, common);
    command->callback([common, options, clip] {
        auto connection = connectOrExit(*common);
        auto result = connection->call<protocol::createLogicMarkerWithTimecodeSeconds>(
            { clip->start, clip->duration, clip->name, options->color, options->pacing, options->frameRate, options->dropFrame }, common->timeout());
        if (!result)
            exitForClientError(result.error());
        int status = printReply(protocol::createLogicMarkerWithTimecodeSeconds::selector,
            protocol::parameterNames(protocol::createLogicMarkerWithTimecodeSeconds::replyText), ipc::encodeTuple(std::move(result.value())),
            common->json);
        if (status != 0)
            throw CLI::RuntimeError(status);
    });
}

void addMarkersCommand(CLI::App& app)
{
    auto common = std::make_shared<CommonOptionValues>();
    auto options = std::make_shared<MarkerOptions>();
    auto path = std::make_shared<std::string>();
    auto* command = app.add_subcommand("markers",
        "create one marker per clip of a CSV (start,duration,name[,color]) or JSON list, then close the batch (closeColorsWindowWithReply:)");
    command->add_option("file", *path, "the list of clips")->required();
    addMarkerOptions(command, *options, "the colour of clips that name none (-1, the default: no colour)");
    add(command, common);
    command->callback([common, options, path] {
        std::vector<Clip> clips = readClips(*path);
        auto connection = connectOrExit(*common);
        int failures = 0;
        nlohmann::json results = nlohmann::json::array();
        for (std::size_t i = 0; i < clips.size(); ++i) {
            const Clip& c = clips[i];
            drawProgress(i, clips.size(), c.name);
            auto result = connection->call<protocol::createLogicMarkerWithTimecodeSeconds>(
                { c.start, c.duration, c.name, c.color.value_or(options->color), options->pacing, options->frameRate, options->dropFrame },
                common->timeout());
            if (!result) {
                std::cerr << "\n";
                exitForClientError(result.error());
            }
            auto [ok, viewOffset, error] = result.value();
            failures += ok ? 0 : 1;
            results.push_back(nlohmann::json { { "name", c.name }, { "ok", ok }, { "error", error ? nlohmann::json(error->localizedDescription) : nlohmann::json(nullptr) } });
            if (!ok)
                std::cerr << "\nmarquee: " << c.name << ": " << (error ? error->localizedDescription : "failed") << "\n";
        }
        drawProgress(clips.size(), clips.size(), "done");
        std::cerr << "\n";
        // The batch ends as the plug-in ends it: the Colors window and the marker
        // track go back to how they were.
        if (auto closed = connection->closeColorsWindowWithReply({}, common->timeout()); !closed)
            exitForClientError(closed.error());
        if (common->json)
            std::cout << nlohmann::json { { "markers", results }, { "failed", failures } }.dump() << "\n";
        else
            std::cout << "markers: " << clips.size() - static_cast<std::size_t>(failures) << " of " << clips.size() << " created\n";
        if (failures > 0)
            throw CLI::RuntimeError(kExitFailureReply);
    });
}

void addColorsAvoidCommand(CLI::App& app)
{
    auto common = std::make_shared<CommonOptionValues>();
    auto rect = std::make_shared<std::array<double, 4>>();
    auto* command = app.add_subcommand("colors-avoid",
        "the rectangle (AppKit screen coordinates) the Colors grid keeps clear of; a width or height of 0 clears it "
        "(setColorsWindowAvoidRectX:y:width:height:withReply:)");
    command->add_option("x", (*rect)[0], "left edge")->required();
    command->add_option("y", (*rect)[1], "bottom edge (from the bottom of the primary screen)")->required();
    command->add_option("width", (*rect)[2], "width")->required();
    command->add_option("height", (*rect)[3], "height")->required();
    add(command, common);
    command->callback([common, rect] {
        auto connection = connectOrExit(*common);
        auto result = connection->setColorsWindowAvoidRectX({ (*rect)[0], (*rect)[1], (*rect)[2], (*rect)[3] }, common->timeout());
        if (!result)
            exitForClientError(result.error());
        printReply(protocol::setColorsWindowAvoidRectX::selector, protocol::parameterNames(protocol::setColorsWindowAvoidRectX::replyText),
            ipc::encodeTuple(std::move(result.value())), common->json);
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
