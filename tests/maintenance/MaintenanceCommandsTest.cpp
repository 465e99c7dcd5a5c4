// The update check and the crash report fetch through real processes: the helper,
// started with its endpoint, authorities and home directory in its environment, and
// the marquee tool asking it and saving what it gets.
#include "tests/harness/HelperHarness.h"
#include "tests/maintenance/HttpsTestServer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

/// How many of the helper's lines contain `text`, once one has arrived (bounded):
/// the helper logs before it replies, but its pipe is read by another thread.
std::size_t loggedLines(test::HelperHarness& harness, const std::string& text)
{
    harness.helper().waitForLine(text, 5s);
    return harness.countLogLines(text);
}

/// Runs the marquee tool with `arguments` against `harness`; its exit status, or -1.
int runTool(test::HelperHarness& harness, std::vector<std::string> arguments, std::unique_ptr<test::ChildProcess>& tool)
{
    arguments.insert(arguments.begin(), test::marqueeExecutablePath());
    tool = std::make_unique<test::ChildProcess>(arguments, harness.environment());
    auto status = tool->waitForExit(30s);
    tool->waitForOutputEnd(2s);
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

TEST(MaintenanceCommands, UpdateCheckSavesTheNotesTheHelperFetched)
{
    test::TestCertificates certificates;
    const std::string notes = "<h1>2.1</h1>";
    test::HttpsTestServer server(certificates,
        { { "/", json { { "status", 200 },
                         { "body", json { { "version", "2.1.0" }, { "releaseNotes", "{base}/notes" }, { "path", "{base}/Marquee.dmg" } }.dump() } } },
            { "/notes", json { { "status", 200 }, { "body", notes } } } });
    test::HelperHarness harness(test::HelperHarness::Desktop::none, std::nullopt,
        { { "MARQUEE_UPDATE_ENDPOINT", server.url("/") }, { "MARQUEE_CA_FILE", certificates.trustedAuthorityFile() } });

    std::unique_ptr<test::ChildProcess> tool;
    std::string saved = harness.runtimeDir().file("notes.html");
    ASSERT_EQ(runTool(harness, { "update-check", "--save-notes", saved }, tool), 0);
    EXPECT_TRUE(tool->hasLine("updateAvailable: true"));
    EXPECT_TRUE(tool->hasLine("version: 2.1.0"));
    EXPECT_TRUE(tool->hasLine("downloadURL: " + server.url("/Marquee.dmg")));
    EXPECT_EQ(readFile(saved), notes);
    EXPECT_EQ(loggedLines(harness, "checkForUpdate: ok (12 HTML bytes)"), 1u);
    EXPECT_EQ(server.waitForRequests("/", 1), 1u);
}

TEST(MaintenanceCommands, UpdateCheckWithoutAnEndpointFailsWithItsMessage)
{
    test::HelperHarness harness;
    std::unique_ptr<test::ChildProcess> tool;
    EXPECT_EQ(runTool(harness, { "update-check" }, tool), 1);
    EXPECT_TRUE(tool->hasLine("Bad version-check URL"));
    EXPECT_EQ(loggedLines(harness, "checkForUpdate failed: Bad version-check URL"), 1u);
}

TEST(MaintenanceCommands, CrashReportSavesTheNewestReportUnderItsName)
{
    test::TempRuntimeDir home;
    std::string folder = home.path() + "/Library/Logs/DiagnosticReports";
    for (std::string part : { "/Library", "/Library/Logs", "/Library/Logs/DiagnosticReports" })
        ::mkdir((home.path() + part).c_str(), 0700);
    struct File {
        const char* name;
        const char* contents;
        time_t modified;
    };
    for (const File& file : { File { "Marquee-2025-01-01-120000.ips", "own report", 1'735'732'800 },
             File { "AUHostingServiceXPC-2024-12-31.ips", "hosted com.quillmoor.marquee", 1'735'635'600 } }) {
        std::string path = folder + "/" + file.name;
        std::ofstream(path, std::ios::binary) << file.contents;
        timespec times[2] = { { file.modified, 0 }, { file.modified, 0 } };
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    test::HelperHarness harness(test::HelperHarness::Desktop::none, std::nullopt, { { "HOME", home.path() } });

    test::TempRuntimeDir saveTo;
    std::unique_ptr<test::ChildProcess> tool;
    ASSERT_EQ(runTool(harness, { "crash-report", "--save", saveTo.path() }, tool), 0);
    EXPECT_TRUE(tool->hasLine("Marquee-2025-01-01-120000.ips"));
    EXPECT_EQ(readFile(saveTo.file("Marquee-2025-01-01-120000.ips")), "own report");
    EXPECT_EQ(loggedLines(harness, "fetchLatestCrashReport: Marquee-2025-01-01-120000.ips (10 bytes)"), 1u);
}

TEST(MaintenanceCommands, CrashReportWithoutAFolderAnswersNothing)
{
    test::TempRuntimeDir home;
    test::HelperHarness harness(test::HelperHarness::Desktop::none, std::nullopt, { { "HOME", home.path() } });
    std::unique_ptr<test::ChildProcess> tool;
    ASSERT_EQ(runTool(harness, { "crash-report", "--json" }, tool), 1);
    EXPECT_TRUE(tool->hasLine("\"message\":\"no crash report found\""));
    EXPECT_EQ(loggedLines(harness, "fetchLatestCrashReport: DiagnosticReports unreadable or absent"), 1u);
}

} // namespace
} // namespace mq
