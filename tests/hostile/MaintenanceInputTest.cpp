// What a server or a file on disk can hand the helper's maintenance requests.
// A version document with a number out of range used to throw out of the engine
// thread's job and end the process (every client's replies and monitors with it);
// an error quoting invalid UTF-8 made the reply undecodable; plain-HTTP notes were
// fetched and a file: download address handed on. A crash report linked to
// /proc/self/mem ended the process, and a host report was read whole however large.
#include "protocol/Frame.h"
#include "marquee/MQHelperXPCProtocol.h"
#include "base/UTF8.h"
#include "tests/harness/HelperHarness.h"
#include "tests/hostile/HostileFixture.h"
#include "tests/maintenance/HttpsTestServer.h"
#include "tests/support/RawConnection.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iostream>

namespace mq {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using nlohmann::json;

json route(const std::string& body)
{
    return json { { "status", 200 }, { "body", body } };
}

TEST(MaintenanceInput, HostileVersionDocumentsFailTheCheckAndTheHelperGoesOn)
{
    test::TestCertificates certificates;
    const std::string fiveThousandDigits(5000, '7');
    const std::string urls = R"("releaseNotes": "{base}/notes", "path": "https://example.invalid/M.dmg")";
    json routes {
        { "/huge", route("1e999") },
        { "/negative-huge", route("-1e400") },
        { "/long-integer", route(fiveThousandDigits) },
        { "/huge-version", route(R"({"version": 1e999, )" + urls + "}") },
        { "/deep", route(std::string(10000, '[') + std::string(10000, ']')) },
        // 0xFF inside a string: the parser's message quotes the byte.
        { "/not-utf8", json { { "status", 200 }, { "bodyLatin1", "{\"version\": \"\xc3\xbf\xc3\xbe\"}" } } },
        { "/http-notes", route(R"({"version": "2.1", "releaseNotes": "http://127.0.0.1:1/notes", "path": "https://example.invalid/M.dmg"})") },
        { "/file-download", route(R"({"version": "2.1", "releaseNotes": "{base}/notes", "path": "file:///etc/passwd"})") },
        { "/notes", route("notes") },
    };
    test::HttpsTestServer server(certificates, routes);

    struct Row {
        const char* path;
        const char* messageStart;
    };
    const Row rows[] = {
        { "/huge", "Version JSON parse failed: " },
        { "/negative-huge", "Version JSON parse failed: " },
        { "/long-integer", "Version JSON parse failed: " },
        { "/huge-version", "Version JSON parse failed: " },
        { "/deep", "Version JSON parse failed: expected a JSON object at the top level" },
        { "/not-utf8", "Version JSON parse failed: the data is not valid JSON: " },
        { "/http-notes", "Version JSON has malformed URLs" },
        { "/file-download", "Version JSON has malformed URLs" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        test::HelperHarness harness(test::HelperHarness::Desktop::none, std::nullopt,
            { { "MARQUEE_UPDATE_ENDPOINT", server.url(row.path) }, { "MARQUEE_CA_FILE", certificates.trustedAuthorityFile() } });
        auto connection = harness.connect();
        auto reply = connection->checkForUpdateWithReply({}, 20s);
        ASSERT_TRUE(reply.hasValue()) << reply.error().message;
        auto& [available, version, download, notes, error] = reply.value();
        EXPECT_FALSE(available);
        EXPECT_FALSE(download);
        ASSERT_TRUE(error);
        EXPECT_TRUE(error->localizedDescription.starts_with(row.messageStart)) << error->localizedDescription;
        EXPECT_TRUE(isWellFormedUTF8(error->localizedDescription));
        // Alive and answering.
        EXPECT_TRUE(connection->permissionsStatusWithReply({}, 5s).hasValue());
        EXPECT_FALSE(harness.helper().waitForExit(0ms)) << "the helper ended";
    }
    EXPECT_EQ(server.requestCount("/notes"), 0u) << "notes were fetched for a document that failed";
}

// 20 update checks pipelined on one connection, each with 8 MB of notes: the
// helper used to run them all at once and hold every page and every reply; it now
// runs one large reply at a time per connection, and only once the previous one has
// been written.
TEST(MaintenanceInput, PipelinedUpdateChecksWithLargeNotesKeepTheHelperSmall)
{
    test::TestCertificates certificates;
    json routes {
        { "/version", route(R"({"version": "2.1", "releaseNotes": "{base}/notes", "path": "https://example.invalid/M.dmg"})") },
        { "/notes", route(std::string(8 << 20, 'n')) },
    };
    test::HttpsTestServer server(certificates, routes);
    test::HelperHarness harness(test::HelperHarness::Desktop::none, std::nullopt,
        { { "MARQUEE_UPDATE_ENDPOINT", server.url("/version") }, { "MARQUEE_CA_FILE", certificates.trustedAuthorityFile() } });
    ASSERT_TRUE(harness.connect()->permissionsStatusWithReply({}, 5s).hasValue());

    constexpr int kChecks = 20;
    test::RawConnection client(harness.socketPath());
    ASSERT_TRUE(client.valid());
    std::vector<std::uint8_t> frames;
    for (int id = 1; id <= kChecks; ++id) {
        auto frame = ipc::encodeFrame(ipc::Frame { ipc::FrameKind::request, static_cast<std::uint64_t>(id),
            std::string(protocol::checkForUpdateWithReply::selector), {} });
        frames.insert(frames.end(), frame.begin(), frame.end());
    }
    ASSERT_TRUE(client.sendAll(frames, 5s));
    // Read every reply (each a little over 8 MB), whole frames counted.
    std::vector<std::uint8_t> pending;
    int replies = 0;
    auto deadline = Clock::now() + 90s;
    while (replies < kChecks && Clock::now() < deadline) {
        auto bytes = client.receiveSome(1 << 20, 1s);
        pending.insert(pending.end(), bytes.begin(), bytes.end());
        while (pending.size() >= ipc::kFrameHeaderBytes) {
            auto length = ipc::frameBodyLength(pending.data());
            if (pending.size() - ipc::kFrameHeaderBytes < length)
                break;
            ++replies;
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(ipc::kFrameHeaderBytes + length));
        }
    }
    EXPECT_EQ(replies, kChecks);
    auto peak = test::resourcesOf(harness.helper().pid()).peakResidentKilobytes;
    std::cout << "[hostile] " << kChecks << " pipelined update checks with 8 MB notes: helper peak RSS " << peak << " kB" << std::endl;
    test::expectPeakResidentWithinBound(peak);
}

class CrashReportFiles : public ::testing::Test {
protected:
    std::string folder() const { return m_home.file("Library/Logs/DiagnosticReports"); }
    void SetUp() override
    {
        ASSERT_EQ(::mkdir(m_home.file("Library").c_str(), 0700), 0);
        ASSERT_EQ(::mkdir(m_home.file("Library/Logs").c_str(), 0700), 0);
        ASSERT_EQ(::mkdir(folder().c_str(), 0700), 0);
    }

    test::TempRuntimeDir m_home;
};

// Each special file alone in the folder: the fetch answers nothing, says why it
// skipped the file, and the helper goes on.
TEST_F(CrashReportFiles, LinksToProcFilesAndHugeHostReportsAreSkipped)
{
    struct Row {
        const char* name;
        std::function<void(const std::string&)> make;
    };
    const Row rows[] = {
        { "Marquee-mem.ips", [](const std::string& path) { ASSERT_EQ(::symlink("/proc/self/mem", path.c_str()), 0); } },
        { "Marquee-pagemap.ips", [](const std::string& path) { ASSERT_EQ(::symlink("/proc/self/pagemap", path.c_str()), 0); } },
        { "AUHostingServiceXPC-mem.ips", [](const std::string& path) { ASSERT_EQ(::symlink("/proc/self/mem", path.c_str()), 0); } },
        { "AUHostingServiceXPC-pagemap.ips", [](const std::string& path) { ASSERT_EQ(::symlink("/proc/self/pagemap", path.c_str()), 0); } },
        { "AUHostingServiceXPC-sparse.ips",
            [](const std::string& path) {
                // 2 GB that take no room on disk, mentioning the product at the end.
                int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                ASSERT_GE(fd, 0);
                const std::string tail = "com.quillmoor.marquee";
                ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), (off_t(2) << 30)), static_cast<ssize_t>(tail.size()));
                ::close(fd);
            } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string path = folder() + "/" + row.name;
        row.make(path);
        test::HelperHarness harness(test::HelperHarness::Desktop::none, std::nullopt, { { "HOME", m_home.path() } });
        auto connection = harness.connect();
        auto started = Clock::now();
        auto reply = connection->fetchLatestCrashReportWithReply({}, 20s);
        auto took = Clock::now() - started;
        ASSERT_TRUE(reply.hasValue()) << reply.error().message;
        EXPECT_FALSE(std::get<0>(reply.value()));
        EXPECT_LT(took, 2s);
        EXPECT_TRUE(harness.helper().waitForLine(std::string("fetchLatestCrashReport: skipping ") + row.name, 5s));
        EXPECT_TRUE(connection->permissionsStatusWithReply({}, 5s).hasValue());
        ASSERT_FALSE(harness.helper().waitForExit(0ms)) << "the helper ended";
        auto peak = test::resourcesOf(harness.helper().pid()).peakResidentKilobytes;
        std::cout << "[hostile] crash report " << row.name << ": helper peak RSS " << peak << " kB, reply in "
                  << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms" << std::endl;
        test::expectPeakResidentWithinBound(peak);
        ::unlink(path.c_str());
    }
}

// A readable report beside the special ones is still found.
TEST_F(CrashReportFiles, AGoodReportBesideSpecialFilesIsReturned)
{
    ASSERT_EQ(::symlink("/proc/self/mem", (folder() + "/AUHostingServiceXPC-mem.ips").c_str()), 0);
    ASSERT_EQ(::mkfifo((folder() + "/AUHostingServiceXPC-fifo.ips").c_str(), 0600), 0);
    {
        std::ofstream report(folder() + "/Marquee-2025.ips");
        report << "crashed thread 0";
    }
    test::HelperHarness harness(test::HelperHarness::Desktop::none, std::nullopt, { { "HOME", m_home.path() } });
    auto reply = harness.connect()->fetchLatestCrashReportWithReply({}, 20s);
    ASSERT_TRUE(reply.hasValue());
    EXPECT_EQ(std::get<1>(reply.value()), "Marquee-2025.ips");
}

} // namespace
} // namespace mq
