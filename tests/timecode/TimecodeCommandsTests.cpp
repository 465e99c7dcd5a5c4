// Runs the built marquee tool the way a user would and checks what it prints and
// its exit status.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

struct RunResult {
    int status { -1 };
    std::string output; // standard output and standard error together
};

std::string shellQuoted(const std::string& argument)
{
    std::string out = "'";
    for (char c : argument) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

RunResult runMarquee(const std::vector<std::string>& arguments)
{
    std::string command = shellQuoted(MQ_MARQUEE_PATH);
    for (const auto& argument : arguments)
        command += ' ' + shellQuoted(argument);
    command += " 2>&1";
    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    std::array<char, 4096> buffer {};
    size_t count = 0;
    while ((count = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.output.append(buffer.data(), count);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(TimecodeCommand, SecondsToTypedText)
{
    const RunResult run = runMarquee({ "timecode", "--seconds", "60", "--fps", "29.97", "--drop-frame", "--layout", "subframes" });
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("typed       00:01:00:02:00"), std::string::npos) << run.output;
}

TEST(TimecodeCommand, SecondsAsJSON)
{
    const RunResult run = runMarquee({ "timecode", "--seconds=3661.52", "--fps", "25", "--layout", "secondsFraction:3", "--json" });
    ASSERT_EQ(run.status, 0) << run.output;
    const auto out = nlohmann::json::parse(run.output)["reply"];
    EXPECT_EQ(out["components"]["hours"], 1);
    EXPECT_EQ(out["components"]["frames"], 13);
    EXPECT_EQ(out["layout"], "secondsFraction:3");
    EXPECT_EQ(out["typed"], "01:01:01:520");
}

TEST(TimecodeCommand, NegativeSecondsAreTheStartOfTheDay)
{
    const RunResult run = runMarquee({ "timecode", "--seconds", "-1", "--fps", "25", "--json" });
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(nlohmann::json::parse(run.output)["reply"]["typed"], "00:00:00:00");
}

TEST(TimecodeCommand, ParseValueText)
{
    const RunResult run = runMarquee({ "timecode", "--parse", "01:00:00:12.40", "--fps", "25", "--json" });
    ASSERT_EQ(run.status, 0) << run.output;
    const auto out = nlohmann::json::parse(run.output)["reply"];
    EXPECT_EQ(out["layout"], "subframes");
    EXPECT_EQ(out["displayMode"], 1);
    EXPECT_EQ(out["display"], "01:00:00:12.40");
    EXPECT_DOUBLE_EQ(out["seconds"].get<double>(), 3600.48);
}

TEST(TimecodeCommand, LCDText)
{
    const RunResult run = runMarquee({ "timecode", "--lcd", "01.00.00.12", "--fps", "25" });
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("3600.48 s"), std::string::npos) << run.output;
}

TEST(TimecodeCommand, TextThatIsNoTimecodeExitsWithOne)
{
    RunResult run = runMarquee({ "timecode", "--parse", "01:0:00:00", "--fps", "25" });
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("is not a timecode"), std::string::npos) << run.output;

    run = runMarquee({ "timecode", "--lcd", "01:00:00", "--fps", "25", "--json" });
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(nlohmann::json::parse(run.output)["error"]["reply"]["seconds"].is_null()) << run.output;
}

struct BadInputCase {
    std::vector<std::string> arguments;
    std::string message;
};

TEST(TimecodeCommand, BadInputIsRefusedWithAMessage)
{
    const std::vector<BadInputCase> cases {
        { { "timecode", "--seconds", "abc", "--fps", "25" }, "--seconds needs a number" },
        { { "timecode", "--seconds", "12abc", "--fps", "25" }, "--seconds needs a number" },
        { { "timecode", "--seconds", "nan", "--fps", "25" }, "--seconds needs a finite number" },
        { { "timecode", "--seconds", "1e400", "--fps", "25" }, "--seconds needs a finite number" },
        { { "timecode", "--seconds", "1", "--fps", "0" }, "--fps must be greater than 0" },
        { { "timecode", "--seconds", "1", "--fps", "inf" }, "--fps needs a finite number" },
        { { "timecode", "--seconds", "1", "--fps", "25", "--layout", "bars" }, "unknown layout \"bars\"" },
        { { "timecode", "--seconds", "1", "--fps", "25", "--layout", "secondsFraction:2" }, "secondsFraction:N needs N" },
        { { "timecode", "--seconds", "1", "--fps", "25", "--layout", "secondsFraction:x" }, "secondsFraction:N needs N" },
        { { "timecode", "--fps", "25" }, "give exactly one of --seconds, --parse or --lcd" },
        { { "timecode", "--seconds", "1" }, "--fps" },
        { { "timecode", "--seconds", "1", "--parse", "01:00:00:00", "--fps", "25" }, "excludes" },
        { { "timecode", "--parse", "01:00:00:00", "--fps", "25", "--drop-frame" }, "requires --seconds" },
    };
    for (const auto& c : cases) {
        const RunResult run = runMarquee(c.arguments);
        EXPECT_NE(run.status, 0) << testing::PrintToString(c.arguments) << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << testing::PrintToString(c.arguments) << "\n" << run.output;
    }
}

} // namespace
