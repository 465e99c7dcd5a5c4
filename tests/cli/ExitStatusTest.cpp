// The exit statuses as README.md lists them, each produced by what a user meets;
// usage errors with a "Did you mean"; and one JSON shape for every command.
#include "tests/harness/HelperHarness.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace mq {
namespace {

using namespace std::chrono_literals;

struct ToolRun {
    int status { -1 };
    std::vector<std::string> out;
    std::vector<std::string> err;
    bool errorMentions(const std::string& text) const
    {
        for (const auto& line : err)
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }
};

ToolRun runMarquee(std::vector<std::string> arguments, test::ChildProcess::Environment environment)
{
    arguments.insert(arguments.begin(), test::marqueeExecutablePath());
    test::ChildProcess tool(arguments, std::move(environment));
    ToolRun run;
    auto status = tool.waitForExit(20s);
    EXPECT_TRUE(status.has_value()) << arguments[1];
    EXPECT_TRUE(tool.waitForOutputEnd(5s));
    run.status = status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
    run.out = tool.lines(test::ChildProcess::Stream::standardOutput);
    run.err = tool.lines(test::ChildProcess::Stream::standardError);
    return run;
}

/// The rows "| N | meaning |" of README.md's exit-status table.
std::map<int, std::string> readmeExitStatuses()
{
    std::ifstream readme(MQ_SOURCE_DIR "/README.md");
    std::map<int, std::string> rows;
    std::string line;
    bool inTable = false;
    static const std::regex kRow(R"(\| (\d) \| (.+) \|)");
    while (std::getline(readme, line)) {
        if (line == "| exit status | meaning |") {
            inTable = true;
            continue;
        }
        std::smatch match;
        if (inTable && std::regex_match(line, match, kRow))
            rows[std::stoi(match[1])] = match[2];
        else if (inTable && !line.starts_with("|"))
            break;
    }
    return rows;
}

/// A socket at the helper's place that accepts connections and never answers.
class SilentHelper {
public:
    explicit SilentHelper(const std::string& path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(m_fd, 4), 0);
    }
    ~SilentHelper() { ::close(m_fd); }

private:
    int m_fd { -1 };
};

TEST(MarqueeExitStatus, EveryStatusOfTheReadmeTableHappensAsItSays)
{
    std::map<int, std::string> rows = readmeExitStatuses();
    ASSERT_EQ(rows.size(), 5u) << "README.md has no exit-status table of five rows";
    test::TempRuntimeDir empty;
    test::ChildProcess::Environment noHelper { { "XDG_RUNTIME_DIR", empty.path() } };
    std::set<int> seen;

    ToolRun ok = runMarquee({ "timecode", "--seconds", "-1", "--fps", "25" }, noHelper);
    EXPECT_EQ(ok.status, 0);
    seen.insert(ok.status);

    // Bad usage: CLI11's message, the nearest command, 2; nothing is sent (no helper
    // is asked, or the status would be 3).
    ToolRun unknown = runMarquee({ "nosuch" }, noHelper);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.errorMentions("A subcommand is required"));
    EXPECT_TRUE(unknown.errorMentions("'nosuch' is not a command of marquee. Did you mean"));
    ToolRun typo = runMarquee({ "plyhead", "--fps", "25" }, noHelper);
    EXPECT_TRUE(typo.errorMentions("Did you mean 'playhead'?"));
    ToolRun option = runMarquee({ "goto", "1", "--fsp", "25" }, noHelper);
    EXPECT_EQ(option.status, 2);
    EXPECT_TRUE(option.errorMentions("'--fsp' is not an option of marquee goto. Did you mean '--fps'?"));
    struct Refused {
        std::vector<std::string> arguments;
        std::string message;
    };
    const Refused refused[] = {
        { { "goto", "nan", "--fps", "25" }, "'nan' is neither a finite number" },
        { { "goto", "inf", "--fps", "25" }, "'inf' is neither a finite number" },
        { { "goto", "01:00:00:25", "--fps", "25" }, "frames 25 is out of range (0 to 24) at 25 fps" },
        { { "goto", "1", "--fps", "0" }, "is not a frame rate" },
        { { "marker", "nan", "1", "x", "--fps", "25" }, "'nan' is not a finite number" },
        { { "marker", "1", "1", "x", "--fps", "25", "--color", "96" }, "colour 96 is not a cell" },
        { { "place", "a.wav", "1", "--fps", "25", "--color", "-2" }, "colour -2 is not a cell" },
        { { "call", "place-audio-file-with-url", "--audio-file-url", "/a.wav", "--timecode-seconds", "1", "--display-name", "",
              "--track-name", "", "--color-index", "200", "--pacing-seconds", "0", "--fps", "25" },
            "colour 200 is not a cell" },
        { { "timecode", "--parse", "99:99:99:99", "--fps", "25" }, "hours 99 is out of range" },
        { { "timecode", "--lcd", "00:00:00:30", "--fps", "29.97" }, "frames 30 is out of range (0 to 29) at 29.97 fps" },
        { { "action", "-1" }, "'-1' is not a code" },
        { { "scrub", "--shm", "/tmp/x", "--fps", "-inf" }, "is not a frame rate" },
    };
    for (const auto& r : refused) {
        ToolRun run = runMarquee(r.arguments, noHelper);
        EXPECT_EQ(run.status, 2) << r.arguments[0] << " " << r.arguments[1];
        EXPECT_TRUE(run.errorMentions(r.message)) << r.arguments[0] << " " << r.arguments[1] << ": no '" << r.message << "'";
    }
    seen.insert(2);

    ToolRun notRunning = runMarquee({ "playhead", "--fps", "25" }, noHelper);
    EXPECT_EQ(notRunning.status, 3);
    EXPECT_TRUE(notRunning.errorMentions("systemctl --user start marquee-helper.socket"));
    EXPECT_TRUE(notRunning.errorMentions("marquee-helper &"));
    seen.insert(notRunning.status);

    {
        SilentHelper silent(empty.file("com.quillmoor.marquee.helper"));
        ToolRun noReply = runMarquee({ "playhead", "--fps", "25", "--timeout-ms", "300" }, noHelper);
        EXPECT_EQ(noReply.status, 4);
        seen.insert(noReply.status);
    }

    test::HelperHarness harness;
    ToolRun failed = runMarquee({ "action", "4" }, harness.environment()); // not on the allow-list
    EXPECT_EQ(failed.status, 1);
    seen.insert(failed.status);

    std::set<int> listed;
    for (const auto& [status, meaning] : rows)
        listed.insert(status);
    EXPECT_EQ(seen, listed);
}

/// Checks one JSON line against the one shape every command prints.
void expectTheOneShape(const std::string& line, const std::string& command)
{
    nlohmann::json object;
    ASSERT_NO_THROW(object = nlohmann::json::parse(line)) << command << ": " << line;
    ASSERT_TRUE(object.is_object()) << line;
    ASSERT_TRUE(object.contains("ok") && object["ok"].is_boolean()) << line;
    EXPECT_EQ(object.value("command", ""), command) << line;
    std::set<std::string> keys;
    for (const auto& [key, value] : object.items())
        keys.insert(key);
    if (object["ok"].get<bool>()) {
        EXPECT_EQ(keys, (std::set<std::string> { "ok", "command", "reply" })) << line;
        EXPECT_TRUE(object["reply"].is_object()) << line;
    } else {
        EXPECT_EQ(keys, (std::set<std::string> { "ok", "command", "error" })) << line;
        const auto& error = object["error"];
        ASSERT_TRUE(error.is_object()) << line;
        static const std::set<std::string> kKinds { "usage", "failed", "not-running", "no-reply" };
        EXPECT_TRUE(error.contains("kind") && kKinds.count(error["kind"].get<std::string>())) << line;
        EXPECT_TRUE(error.contains("message") && error["message"].is_string()) << line;
        for (const auto& [key, value] : error.items())
            EXPECT_TRUE(key == "kind" || key == "message" || key == "reply") << line;
    }
}

/// The subcommands `marquee [path] --help` lists.
std::vector<std::string> listedCommands(std::vector<std::string> path)
{
    path.push_back("--help");
    ToolRun help = runMarquee(path, {});
    std::vector<std::string> names;
    bool listing = false;
    for (const std::string& line : help.out) {
        if (line == "Subcommands:")
            listing = true;
        else if (listing && line.starts_with("  ") && line.size() > 2 && line[2] != ' ')
            names.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    return names;
}

TEST(MarqueeJSON, EveryCommandPrintsTheOneShape)
{
    test::HelperHarness harness(test::HelperHarness::Desktop::logicSim);
    test::TempRuntimeDir files;
    std::ofstream(files.file("bad.csv")) << "start,duration,name\n1,1,One\n2,stod,Two\n";
    // Every command of `marquee --help` (bounce and call by their subcommands).
    const std::vector<std::pair<std::string, std::vector<std::string>>> runs {
        { "goto", { "goto", "3600", "--fps", "25" } },
        { "goto", { "goto", "nan", "--fps", "25" } },
        { "playhead", { "playhead", "--fps", "25" } },
        { "project-start", { "project-start", "--fps", "25" } },
        { "control-bar", { "control-bar", "--fps", "25" } },
        { "project-url", { "project-url" } },
        { "colors-close", { "colors-close" } },
        { "action", { "action", "5" } },
        { "action", { "action", "4" } },
        { "marker", { "marker", "3601", "1", "One", "--fps", "25" } },
        { "markers", { "markers", files.file("bad.csv"), "--fps", "25" } },
        { "colors-avoid", { "colors-avoid", "1", "2", "3", "4" } },
        { "place", { "place", files.file("missing.wav"), "3600", "--fps", "25" } },
        { "bounce run", { "bounce", "run", "relative.mov", "3600", "--fps", "25" } },
        { "scrub", { "scrub", "--shm", files.file("scrub.shm"), "--fps", "25", "--duration", "0.3" } },
        { "watch", { "watch", "--shm", files.file("watch.shm"), "--timeout", "0.1" } },
        { "permissions", { "permissions" } },
        { "update-check", { "update-check" } },
        { "crash-report", { "crash-report" } },
        { "timecode", { "timecode", "--seconds", "60", "--fps", "25" } },
        { "trace", { "trace", "--log", files.file("no-such.log") } },
        { "timecode", { "timecode", "--parse", "nonsense", "--fps", "25" } },
        { "call run-action-with-code", { "call", "run-action-with-code", "--code", "5" } },
        { "call read-logic-playhead-smpte-with-frame-rate", { "call", "read-logic-playhead-smpte-with-frame-rate", "--fps", "25", "--drop-frame" } },
        { "relaunch", { "relaunch" } },
    };
    std::set<std::string> covered;
    for (const auto& [command, arguments] : runs) {
        std::vector<std::string> withJSON = arguments;
        withJSON.push_back("--json");
        ToolRun run = runMarquee(withJSON, harness.environment());
        ASSERT_FALSE(run.out.empty()) << command << " printed nothing";
        for (const std::string& line : run.out)
            expectTheOneShape(line, command);
        EXPECT_EQ(nlohmann::json::parse(run.out.back())["ok"].get<bool>(), run.status == 0) << command << ": " << run.out.back();
        covered.insert(command.substr(0, command.find(' ')));
    }
    for (const std::string& listed : listedCommands({}))
        EXPECT_TRUE(covered.count(listed)) << "marquee " << listed << " --json is not checked";
}

} // namespace
} // namespace mq
