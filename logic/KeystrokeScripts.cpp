#include "logic/KeystrokeScripts.h"

#include "logic/AppleScriptRunner.h"
#include "logic/LogicApplication.h"

#include <initializer_list>

namespace mq::logic {

namespace {

constexpr std::string_view kFallbackProcessName = "Logic Pro";

std::string join(std::initializer_list<std::string_view> parts)
{
    std::size_t size = 0;
    for (std::string_view part : parts)
        size += part.size();
    std::string out;
    out.reserve(size);
    for (std::string_view part : parts)
        out += part;
    return out;
}

} // namespace

std::string logicProcessName(platform::Platform& platform)
{
    std::optional<platform::RunningApplication> logic = findLogicRunningApplication(platform);
    if (logic && logic->localizedName)
        return *logic->localizedName;
    return std::string(kFallbackProcessName);
}

std::string escapeFieldText(std::string_view text)
{
    std::string backslashes;
    for (char c : text) {
        if (c == '\\')
            backslashes += '\\';
        backslashes += c;
    }
    std::string out;
    for (char c : backslashes) {
        if (c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

std::string escapeScript(std::string_view processName)
{
    return join({ scriptpiece::kOpening, processName, scriptpiece::kEscapeAndClose });
}

std::string barOneScript(std::string_view processName)
{
    return join({ scriptpiece::kOpening, processName, scriptpiece::kBarOneAndTabClose });
}

std::string tabDelayTextReturnScript(std::string_view processName, std::string_view text)
{
    return join({ scriptpiece::kOpening, processName, scriptpiece::kTabPauseThenText, text, scriptpiece::kReturnAndCloseFiveSpaces });
}

std::string locatorsScript(std::string_view processName, std::string_view first, std::string_view second)
{
    return join({ scriptpiece::kOpening, processName, scriptpiece::kTabThenText, first, scriptpiece::kTabTabThenText, second,
        scriptpiece::kReturnAndCloseFiveSpaces });
}

std::string textReturnScript(std::string_view processName, std::string_view text)
{
    return join({ scriptpiece::kOpening, processName, scriptpiece::kTextFollows, text, scriptpiece::kReturnAndCloseFiveSpaces });
}

std::string selectAllTextReturnScript(std::string_view processName, std::string_view text)
{
    return join({ scriptpiece::kOpening, processName, scriptpiece::kSelectAllThenText, text, scriptpiece::kReturnAndClose });
}

std::string goToFolderScript(std::string_view processName)
{
    return join({ scriptpiece::kOpeningTwoSpaces, processName, scriptpiece::kGoToFolderPasteConfirmClose });
}

bool sendEscape(platform::Platform& platform)
{
    return runAppleScript(platform.scripting, escapeScript(logicProcessName(platform)));
}

bool sendBarOne(platform::Platform& platform)
{
    return runAppleScript(platform.scripting, barOneScript(logicProcessName(platform)));
}

bool sendTabDelayTextReturn(platform::Platform& platform, std::string_view text)
{
    return runAppleScript(platform.scripting, tabDelayTextReturnScript(logicProcessName(platform), text));
}

bool sendLocators(platform::Platform& platform, std::string_view first, std::string_view second)
{
    return runAppleScript(platform.scripting, locatorsScript(logicProcessName(platform), first, second));
}

bool sendTextReturn(platform::Platform& platform, std::string_view text)
{
    return runAppleScript(platform.scripting, textReturnScript(logicProcessName(platform), text));
}

bool sendSelectAllTextReturn(platform::Platform& platform, std::string_view text)
{
    return runAppleScript(platform.scripting, selectAllTextReturnScript(logicProcessName(platform), text));
}

bool sendGoToFolder(platform::Platform& platform)
{
    return runAppleScript(platform.scripting, goToFolderScript(logicProcessName(platform)));
}

} // namespace mq::logic
