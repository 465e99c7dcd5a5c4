// The crash report fetch on real files in a real folder, with modification times
// set by the test.
#include "maintenance/CrashReportFetch.h"
#include "platform/Log.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

namespace mq::maintenance {
namespace {

constexpr std::size_t kLimit = 1 << 20;

class CrashReportFetchTest : public ::testing::Test {
protected:
    std::string folder() const { return m_dir.file("DiagnosticReports"); }

    /// Writes a report with `contents`, modified at `modified` seconds since the epoch.
    void write(const std::string& name, const std::string& contents, time_t modified)
    {
        ::mkdir(folder().c_str(), 0700);
        std::string path = folder() + "/" + name;
        {
            std::ofstream file(path, std::ios::binary);
            file << contents;
        }
        timespec times[2] = { { modified, 0 }, { modified, 0 } };
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
    }

    std::optional<std::string> fetchedName()
    {
        auto report = fetchLatestCrashReport(folder(), kLimit);
        return report ? std::optional(report->fileName) : std::nullopt;
    }

    test::TempRuntimeDir m_dir;
    log::LogCapture m_log;
};

TEST_F(CrashReportFetchTest, TheProductsOwnReportWinsOverAnOlderHostReportThatMentionsIt)
{
    const std::string ownReport = "{\"app_name\":\"Marquee\"}\ncrashed thread 0";
    write("Marquee-2025-01-01-120000.ips", ownReport, 1'735'732'800);
    write("AUHostingServiceXPC-2024-12-31-090000.ips", "loaded com.quillmoor.marquee.plugin", 1'735'635'600);

    auto report = fetchLatestCrashReport(folder(), kLimit);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->fileName, "Marquee-2025-01-01-120000.ips");
    EXPECT_EQ(std::string(report->bytes.begin(), report->bytes.end()), ownReport);
    EXPECT_TRUE(m_log.contains("fetchLatestCrashReport: Marquee-2025-01-01-120000.ips (" + std::to_string(ownReport.size()) + " bytes)",
        "helper.service"));
}

TEST_F(CrashReportFetchTest, TheNewestCandidateIsChosenByTheRulesOfNameExtensionAndContents)
{
    struct File {
        const char* name;
        const char* contents;
        time_t modified;
    };
    struct Row {
        const char* what;
        std::vector<File> files;
        std::optional<std::string> expected;
    };
    const Row rows[] = {
        { "an upper-case extension counts", { { "Marquee-a.IPS", "x", 200 }, { "Marquee-b.ips", "x", 100 } }, "Marquee-a.IPS" },
        { "a .crash file does not", { { "Marquee-a.crash", "x", 300 }, { "Marquee-b.ips", "x", 100 } }, "Marquee-b.ips" },
        { "a host report without the identifier is ignored however new",
            { { "AUHostingServiceXPC-new.ips", "com.other.plugin", 900 }, { "Marquee-old.ips", "x", 100 } }, "Marquee-old.ips" },
        { "a host report with the identifier counts",
            { { "AUHostingServiceXPC-new.ips", "... com.quillmoor.marquee ...", 900 }, { "Marquee-old.ips", "x", 100 } },
            "AUHostingServiceXPC-new.ips" },
        { "a host report that is not UTF-8 is no candidate",
            { { "AUHostingServiceXPC-bin.ips", "com.quillmoor.marquee \xff\xfe", 900 }, { "Marquee-old.ips", "x", 100 } },
            "Marquee-old.ips" },
        { "names are compared case-sensitively",
            { { "marquee-lower.ips", "x", 900 }, { "auhostingservicexpc-lower.ips", "com.quillmoor.marquee", 900 },
                { "Marquee-old.ips", "x", 100 } },
            "Marquee-old.ips" },
        { "hidden files are skipped", { { ".Marquee-hidden.ips", "x", 900 }, { "Marquee-old.ips", "x", 100 } }, "Marquee-old.ips" },
        { "no candidate at all", { { "Other-app.ips", "com.quillmoor.marquee", 900 }, { "Marquee.txt", "x", 900 } }, std::nullopt },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        test::TempRuntimeDir dir;
        std::string path = dir.file("reports");
        ::mkdir(path.c_str(), 0700);
        for (const File& file : row.files) {
            std::string filePath = path + "/" + file.name;
            std::ofstream(filePath, std::ios::binary) << file.contents;
            timespec times[2] = { { file.modified, 0 }, { file.modified, 0 } };
            ASSERT_EQ(::utimensat(AT_FDCWD, filePath.c_str(), times, 0), 0);
        }
        auto report = fetchLatestCrashReport(path, kLimit);
        EXPECT_EQ(report ? std::optional(report->fileName) : std::nullopt, row.expected);
    }
    EXPECT_EQ(m_log.count("fetchLatestCrashReport: no matching .ips found"), 1u);
}

TEST_F(CrashReportFetchTest, OfTwoEquallyNewCandidatesTheFirstListedWins)
{
    write("Marquee-one.ips", "one", 500);
    write("Marquee-two.ips", "two", 500);
    write("Marquee-older.ips", "older", 400);
    // The listing order is the platform's: find out which of the two comes first.
    std::optional<std::string> firstListed;
    DIR* directory = opendir(folder().c_str());
    ASSERT_TRUE(directory);
    while (dirent* entry = readdir(directory)) {
        std::string name = entry->d_name;
        if (name == "Marquee-one.ips" || name == "Marquee-two.ips") {
            firstListed = name;
            break;
        }
    }
    closedir(directory);
    ASSERT_TRUE(firstListed);
    EXPECT_EQ(fetchedName(), firstListed);
}

TEST_F(CrashReportFetchTest, SubSecondModificationTimesDecide)
{
    write("Marquee-a.ips", "a", 500);
    write("Marquee-b.ips", "b", 500);
    std::string path = folder() + "/Marquee-a.ips";
    timespec times[2] = { { 500, 1000 }, { 500, 1000 } };
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(fetchedName(), "Marquee-a.ips");
}

TEST_F(CrashReportFetchTest, NoFolderRepliesNothingWithTheUnreadableLine)
{
    EXPECT_FALSE(fetchLatestCrashReport(m_dir.file("no-such-folder"), kLimit));
    EXPECT_EQ(m_log.count("fetchLatestCrashReport: DiagnosticReports unreadable or absent"), 1u);
}

TEST_F(CrashReportFetchTest, AFolderWithoutCandidatesRepliesNothingWithTheNoMatchLine)
{
    ::mkdir(folder().c_str(), 0700);
    ::mkdir((folder() + "/Marquee-directory.ips").c_str(), 0700);
    EXPECT_FALSE(fetchedName());
    EXPECT_EQ(m_log.count("fetchLatestCrashReport: no matching .ips found"), 1u);
}

TEST_F(CrashReportFetchTest, AReportTooLargeForOneReplyIsNotSentAndItsSizeIsLogged)
{
    write("Marquee-huge.ips", std::string(kLimit + 1, 'x'), 900);
    write("Marquee-small.ips", "small", 100);
    EXPECT_FALSE(fetchLatestCrashReport(folder(), kLimit));
    auto lines = m_log.lines();
    auto found = std::find_if(lines.begin(), lines.end(), [](const log::CapturedLine& line) {
        return line.message.starts_with("fetchLatestCrashReport: Marquee-huge.ips is 1048577 bytes");
    });
    ASSERT_NE(found, lines.end());
    EXPECT_EQ(found->level, log::Level::error);
}

TEST(WellFormedUTF8Test, RejectsWhatIsNotUTF8)
{
    struct Row {
        std::string bytes;
        bool wellFormed;
    };
    const Row rows[] = {
        { "", true },
        { "plain ascii", true },
        { "caf\xc3\xa9 \xe2\x86\x92 \xf0\x9f\x8e\xb5", true },
        { "\xc3", false }, // cut short
        { "\xc0\xaf", false }, // overlong
        { "\xed\xa0\x80", false }, // surrogate
        { "\xf4\x90\x80\x80", false }, // past U+10FFFF
        { "\xff", false },
        { "\x80", false }, // lone continuation byte
    };
    for (const Row& row : rows)
        EXPECT_EQ(isWellFormedUTF8(row.bytes), row.wellFormed) << testing::PrintToString(row.bytes);
}

TEST(DiagnosticReportsFolderTest, LiesUnderTheHomeDirectory)
{
    EXPECT_EQ(diagnosticReportsFolder("/home/ann"), "/home/ann/Library/Logs/DiagnosticReports");
}

} // namespace
} // namespace mq::maintenance
