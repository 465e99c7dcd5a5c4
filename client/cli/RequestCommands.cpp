// One subcommand per request of the helper. Options are named after the request's
// arguments (timecodeSeconds is --timecode-seconds) with a few short aliases
// (--fps, --df, --shm); the first argument may also be given without its option
// name. Replies print as "name: value" lines, or as one JSON object with --json.
//
// Exit status: 0 the request succeeded; 1 the helper answered with a failure
// (a false "ok" or an error object); 2 bad usage; 3 the helper is not running;
// 4 no reply (time-out or a broken connection).
#include "client/cli/Commands.h"
#include "client/cli/Output.h"

#include "client/HelperConnection.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>

namespace mq::cli {

namespace {

struct CommandName {
    std::string_view method;
    std::string_view command; // Empty when MaintenanceCommands.cpp or MarkerCommands.cpp gives the request its command.
    std::string_view summary;
};

constexpr std::array<CommandName, protocol::kRequestCount> kCommandNames { {
    { "bounceGoToPositionWithTimecodeSeconds", "bounce-goto", "bounce step 1: move to the bounce start" },
    { "bounceOpenMovieWithURL", "bounce-open-movie", "bounce step 2: open the movie" },
    { "bounceAlignMovieRegionWithPacingSeconds", "bounce-align-movie", "bounce step 3: align the movie region" },
    { "bounceOpenExportDialogWithPacingSeconds", "bounce-open-export", "bounce step 4: open the export dialog" },
    { "bounceAwaitExportDialogsClosedWithReply", "bounce-await", "bounce step 5: wait for the export dialogs to close" },
    { "placeAudioFileWithURL", "place-audio", "place an audio file on the timeline" },
    { "createLogicMarkerWithTimecodeSeconds", "", "" },
    { "setColorsWindowAvoidRectX", "", "" },
    { "closeColorsWindowWithReply", "colors-close", "close the Colors window the helper opened" },
    { "readLogicProjectStartSMPTEWithFrameRate", "project-start", "read the SMPTE time of bar 1" },
    { "readLogicPlayheadSMPTEWithFrameRate", "playhead", "read the playhead" },
    { "goToLogicPlayheadSMPTESeconds", "goto", "move the playhead" },
    { "currentLogicProjectURLWithReply", "project-url", "the project file Logic has open" },
    { "openLogicSynchronizationSettingsWithReply", "sync-settings", "open Logic's synchronization settings" },
    { "runActionWithCode", "action", "run a stored action by code" },
    { "evaluateControlBarStateWithFrameRate", "control-bar", "whether Logic's control bar can be read" },
    { "checkForUpdateWithReply", "", "" },
    { "startTransportScrubObservingWithFrameRate", "scrub-start", "start publishing the transport into a file" },
    { "stopTransportScrubObservingForShmPath", "scrub-stop", "stop publishing the transport into a file" },
    { "startProjectCloseWatchForShmPath", "watch-start", "start watching the project for closing" },
    { "stopProjectCloseWatchForShmPath", "watch-stop", "stop watching the project" },
    { "permissionsStatusWithReply", "", "" },
    { "primeAutomationPromptsWithReply", "", "" },
    { "openAccessibilitySettingsWithReply", "", "" },
    { "openAutomationSettingsWithReply", "", "" },
    { "recheckPermissionsBouncingWithReply", "", "" },
    { "fetchLatestCrashReportWithReply", "", "" },
} };

const CommandName& commandNameFor(std::string_view method)
{
    for (const auto& entry : kCommandNames)
        if (entry.method == method)
            return entry;
    std::cerr << "marquee: no command name for " << method << "\n";
    std::abort();
}

std::string kebabCase(std::string_view camel)
{
    std::string out;
    for (char c : camel) {
        if (std::isupper(static_cast<unsigned char>(c))) {
            if (!out.empty() && out.back() != '-')
                out.push_back('-');
            out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string optionNames(const std::string& argument)
{
    std::string names = "--" + kebabCase(argument);
    if (argument == "frameRate")
        names += ",--fps";
    else if (argument == "isDropFrame")
        names += ",--df,--drop-frame";
    else if (argument == "shmPath")
        names += ",--shm";
    else if (argument == "lpColorIndex")
        names += ",--color";
    return names;
}

[[noreturn]] void usageError(const std::string& message)
{
    std::cerr << "marquee: " << message << "\n";
    throw CLI::RuntimeError(kExitUsage);
}

// Text of one argument to its type; bad text is a usage error.
template<typename T>
T parseArgument(const std::string& name, const std::optional<std::string>& text, bool flag);

template<>
bool parseArgument<bool>(const std::string&, const std::optional<std::string>&, bool flag)
{
    return flag;
}

template<>
double parseArgument<double>(const std::string& name, const std::optional<std::string>& text, bool)
{
    if (!text)
        usageError("--" + kebabCase(name) + " is required");
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(text->c_str(), &end);
    if (text->empty() || *end != '\0' || errno == ERANGE)
        usageError("--" + kebabCase(name) + ": '" + *text + "' is not a number");
    return value;
}

template<>
std::int64_t parseArgument<std::int64_t>(const std::string& name, const std::optional<std::string>& text, bool)
{
    if (!text)
        usageError("--" + kebabCase(name) + " is required");
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text->c_str(), &end, 10);
    if (text->empty() || *end != '\0' || errno == ERANGE)
        usageError("--" + kebabCase(name) + ": '" + *text + "' is not a whole number");
    return value;
}

template<>
std::uint32_t parseArgument<std::uint32_t>(const std::string& name, const std::optional<std::string>& text, bool)
{
    auto value = parseArgument<std::int64_t>(name, text, false);
    if (value < 0 || value > std::numeric_limits<std::uint32_t>::max())
        usageError("--" + kebabCase(name) + ": " + std::to_string(value) + " is not an unsigned 32-bit number");
    return static_cast<std::uint32_t>(value);
}

template<>
std::string parseArgument<std::string>(const std::string& name, const std::optional<std::string>& text, bool)
{
    if (!text)
        usageError("--" + kebabCase(name) + " is required");
    return *text;
}

template<>
URL parseArgument<URL>(const std::string& name, const std::optional<std::string>& text, bool)
{
    if (!text || text->empty())
        usageError("--" + kebabCase(name) + " is required");
    if (text->front() == '/')
        return URL::fileURLWithPath(*text);
    auto url = URL::parse(*text);
    if (!url)
        usageError("--" + kebabCase(name) + ": '" + *text + "' is neither an absolute path nor a URL");
    return *url;
}

struct ArgumentSlot {
    std::string name;
    bool isFlag { false };
    std::optional<std::string> text;
    bool flag { false };
};

template<typename Request>
void addRequestCommand(CLI::App& app, const CommonOptions& common)
{
    const auto& names = commandNameFor(Request::name);
    if (names.command.empty())
        return;
    auto* command = app.add_subcommand(std::string(names.command), std::string(names.summary) + " (" + std::string(Request::selector) + ")");
    auto argumentNames = protocol::parameterNames(Request::argumentsText);
    auto slots = std::make_shared<std::vector<ArgumentSlot>>(argumentNames.size());
    auto positional = std::make_shared<std::optional<std::string>>();

    [&]<std::size_t... I>(std::index_sequence<I...>) {
        auto addOne = [&](std::size_t index, auto typeTag) {
            using T = typename decltype(typeTag)::type;
            auto& slot = (*slots)[index];
            slot.name = argumentNames[index];
            if constexpr (std::is_same_v<T, bool>) {
                slot.isFlag = true;
                command->add_flag(optionNames(slot.name), slot.flag, slot.name);
            } else {
                command->add_option(optionNames(slot.name), slot.text, slot.name);
            }
        };
        (addOne(I, std::type_identity<std::tuple_element_t<I, typename Request::Arguments>> {}), ...);
        (void)addOne;
    }(std::make_index_sequence<std::tuple_size_v<typename Request::Arguments>> {});

    // The first value argument may be given without its option name.
    for (auto& slot : *slots) {
        if (!slot.isFlag) {
            command->add_option("value", *positional, "the " + slot.name + ", as an alternative to its option");
            break;
        }
    }
    add(command, common);

    command->callback([slots, positional, common] {
        if (*positional) {
            for (auto& slot : *slots) {
                if (!slot.isFlag) {
                    if (slot.text)
                        usageError(slot.name + " given twice");
                    slot.text = *positional;
                    break;
                }
            }
        }
        typename Request::Arguments arguments;
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            ((std::get<I>(arguments) = parseArgument<std::tuple_element_t<I, typename Request::Arguments>>(
                  (*slots)[I].name, (*slots)[I].text, (*slots)[I].flag)),
                ...);
        }(std::make_index_sequence<std::tuple_size_v<typename Request::Arguments>> {});

        auto connection = connectOrExit(*common);
        auto result = connection->template call<Request>(std::move(arguments), common->timeout());
        if (!result)
            exitForClientError(result.error());
        int status = printReply(Request::selector, protocol::parameterNames(Request::replyText),
            ipc::encodeTuple(std::move(result.value())), common->json);
        if (status != 0)
            throw CLI::RuntimeError(status);
    });
}

} // namespace

void addRequestCommands(CLI::App& app)
{
    auto common = std::make_shared<CommonOptionValues>();
#define MQ_ADD_COMMAND(M, S, Sig, RSig) addRequestCommand<protocol::M>(app, common);
    MQ_HELPER_XPC_PROTOCOL(MQ_ADD_COMMAND)
#undef MQ_ADD_COMMAND
}

} // namespace mq::cli
