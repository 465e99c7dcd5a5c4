// `marquee call SELECTOR-NAME`: every request of the helper's protocol as it is,
// one subcommand each, expanded from the request table. The subcommand is the
// selector's first part in kebab case (goToLogicPlayheadSMPTESeconds: is
// `call go-to-logic-playhead-smpte-seconds`); each argument is an option named
// after the parameter (movieURL is --movie-url, lpColorIndex --color-index,
// isDropFrame --drop-frame), typed as the request declares it and required
// unless it is a flag. Replies print as "name: value" lines or a JSON line.
#include "client/cli/Commands.h"
#include "client/cli/InputChecks.h"
#include "client/cli/Output.h"

#include "marquee/HelperConnection.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <optional>

namespace mq::cli {

namespace {

/// "goToLogicPlayheadSMPTESeconds" -> "go-to-logic-playhead-smpte-seconds": a run of
/// capitals is one word ("URL", "SMPTE"), its last capital starting the next word
/// when a lower-case letter follows.
std::string kebabCase(std::string_view camel)
{
    std::string out;
    auto upper = [&](std::size_t i) { return i < camel.size() && std::isupper(static_cast<unsigned char>(camel[i])); };
    auto lower = [&](std::size_t i) { return i < camel.size() && std::islower(static_cast<unsigned char>(camel[i])); };
    for (std::size_t i = 0; i < camel.size(); ++i) {
        bool wordStart = upper(i) && i > 0 && (!upper(i - 1) || lower(i + 1));
        if (wordStart && !out.empty())
            out.push_back('-');
        out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(camel[i]))));
    }
    return out;
}

bool upperAt(std::string_view text, std::size_t index)
{
    return index < text.size() && std::isupper(static_cast<unsigned char>(text[index]));
}

/// The option's long name: the parameter in kebab case, without the "is" of a
/// flag's name and the "lp" (Logic Pro) of the colour index.
std::string optionName(std::string_view parameter)
{
    if (parameter.starts_with("is") && upperAt(parameter, 2))
        parameter.remove_prefix(2);
    else if (parameter.starts_with("lp") && upperAt(parameter, 2))
        parameter.remove_prefix(2);
    return kebabCase(parameter);
}

struct ParameterHelp {
    std::string_view name;
    std::string_view help;
};

// What each parameter of the protocol means, by its name in the request table.
constexpr ParameterHelp kParameterHelp[] = {
    { "seconds", "position on the SMPTE timeline, in seconds" },
    { "timecodeSeconds", "position on the SMPTE timeline, in seconds" },
    { "durationSeconds", "the clip's length, in seconds" },
    { "pacingSeconds", "pause between steps in Logic's interface, in seconds" },
    { "frameRate", "frames per second of the timeline" },
    { "isDropFrame", "drop-frame timecode" },
    { "stopTransport", "stop the transport first" },
    { "movieURL", "the movie: an absolute path or a file: URL" },
    { "audioFileURL", "the audio file: an absolute path or a file: URL" },
    { "displayName", "the name shown in Logic (empty: Logic's own)" },
    { "createNewTrack", "place the region on a new track" },
    { "trackName", "the new track's name" },
    { "lpColorIndex", "a cell of Logic's Colors grid, 0 to 95, or -1 for none" },
    { "colorTrack", "colour the track as well" },
    { "x", "left edge, AppKit screen coordinates" },
    { "y", "bottom edge, from the bottom of the primary screen" },
    { "width", "width (0 clears the rectangle)" },
    { "height", "height (0 clears the rectangle)" },
    { "code", "the stored action's code" },
    { "shmPath", "the shared-memory file" },
};

std::string helpFor(std::string_view parameter)
{
    for (const auto& entry : kParameterHelp)
        if (entry.name == parameter)
            return std::string(entry.help);
    return std::string(parameter);
}

/// One argument's option, read into its slot of the request's argument tuple.
template<typename T>
void addArgumentOption(CLI::App* command, const std::string& parameter, T& slot, std::optional<std::string>& urlText)
{
    std::string names = "--" + optionName(parameter);
    if (parameter == "frameRate")
        names += ",--fps";
    else if (parameter == "shmPath")
        names += ",--shm";
    std::string help = helpFor(parameter);
    if constexpr (std::is_same_v<T, bool>) {
        command->add_flag(names, slot, help);
    } else if constexpr (std::is_same_v<T, double>) {
        command->add_option(names, slot, help)->required()->check(parameter == "frameRate" ? kFrameRate : kFiniteNumber);
    } else if constexpr (std::is_same_v<T, std::int64_t>) {
        auto* option = command->add_option(names, slot, help)->required();
        if (parameter == "lpColorIndex")
            option->check(kColorIndex);
    } else if constexpr (std::is_same_v<T, std::uint32_t>) {
        command->add_option(names, slot, help)->required()->check(kActionCode);
    } else if constexpr (std::is_same_v<T, std::string>) {
        command->add_option(names, slot, help)->required()->type_name(parameter == "shmPath" ? "PATH" : "TEXT");
    } else if constexpr (std::is_same_v<T, URL>) {
        command->add_option(names, urlText, help)->required()->type_name("PATH|URL");
    } else {
        static_assert(sizeof(T) == 0, "a request argument type without an option");
    }
}

template<typename Request>
void addCallCommand(CLI::App& call)
{
    const std::string name = kebabCase(Request::name);
    auto common = commonOptionsFor("call " + name);
    auto* command = call.add_subcommand(name, std::string(Request::selector));
    auto arguments = std::make_shared<typename Request::Arguments>();
    auto urlTexts = std::make_shared<std::array<std::optional<std::string>, std::tuple_size_v<typename Request::Arguments> + 1>>();
    auto parameters = protocol::parameterNames(Request::argumentsText);
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (addArgumentOption(command, parameters[I], std::get<I>(*arguments), (*urlTexts)[I]), ...);
    }(std::make_index_sequence<std::tuple_size_v<typename Request::Arguments>> {});
    add(command, common);

    command->callback([common, arguments, urlTexts, parameters] {
        // URLs: an absolute path is a file, anything else must parse as a URL.
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            auto convert = [&](std::size_t index, auto& slot) {
                if constexpr (std::is_same_v<std::decay_t<decltype(slot)>, URL>) {
                    const std::string& text = *(*urlTexts)[index];
                    if (!text.empty() && text.front() == '/')
                        slot = URL::fileURLWithPath(text);
                    else if (auto url = URL::parse(text))
                        slot = *url;
                    else
                        exitForUsage(*common, "--" + optionName(parameters[index]) + ": '" + text + "' is neither an absolute path nor a URL");
                }
            };
            (convert(I, std::get<I>(*arguments)), ...);
            (void)convert;
        }(std::make_index_sequence<std::tuple_size_v<typename Request::Arguments>> {});
        auto connection = connectOrExit(*common);
        callAndPrint<Request>(*connection, *common, *arguments);
    });
}

} // namespace

void addCallCommands(CLI::App& app)
{
    auto* call = app.add_subcommand("call", "send one request of the helper's protocol as it is: marquee call SELECTOR-NAME --help");
    call->require_subcommand(1);
#define MQ_ADD_CALL_COMMAND(M, S, Sig, RSig) addCallCommand<protocol::M>(*call);
    MQ_HELPER_XPC_PROTOCOL(MQ_ADD_CALL_COMMAND)
#undef MQ_ADD_CALL_COMMAND
}

} // namespace mq::cli
