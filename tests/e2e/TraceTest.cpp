// The operation journal through real processes: markers made by marquee-helper
// in logicsim, their records read back from the helper's log by `marquee trace`.
#include "tests/harness/HelperHarness.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using test::ChildProcess;
using test::HelperHarness;

using MarkerReply = std::tuple<bool, double, OptionalError>;

struct ToolRun {
    int status { -1 };
    std::vector<std::string> out;
};

ToolRun runMarquee(std::vector<std::string> arguments, ChildProcess::Environment environment = {})
{
    arguments.insert(arguments.begin(), test::marqueeExecutablePath());
    ChildProcess tool(arguments, std::move(environment));
    auto status = tool.waitForExit(20s);
    EXPECT_TRUE(status.has_value());
    EXPECT_TRUE(tool.waitForOutputEnd(5s));
    return { status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1, tool.lines(ChildProcess::Stream::standardOutput) };
}

/// The first step named `name` among `steps` and inside them; null when there is none.
const json* findStep(const json& steps, const std::string& name)
{
    for (const json& step : steps) {
        if (step.value("name", "") == name)
            return &step;
        if (step.contains("steps"))
            if (const json* inner = findStep(step["steps"], name))
                return inner;
    }
    return nullptr;
}

/// The helper's log in a file once it holds `records` operation records (its
/// standard error reaches this process a moment after the reply).
std::string logFileWith(const HelperHarness& harness, std::size_t records)
{
    EXPECT_TRUE(test::eventually([&] { return harness.countLogLines("trace: {") >= records; }, 5s));
    return harness.writeLogFile();
}

/// `marquee trace ARGS --json --log` the helper's log, once it holds `records`
/// operation records: the operations it lists.
json traceJSON(const HelperHarness& harness, std::size_t records, std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "trace");
    for (const char* more : { "--json", "--log" })
        arguments.emplace_back(more);
    arguments.push_back(logFileWith(harness, records));
    ToolRun run = runMarquee(arguments);
    EXPECT_EQ(run.status, 0);
    if (run.out.size() != 1)
        return json::array();
    json line = json::parse(run.out.front());
    EXPECT_EQ(line["ok"], true);
    EXPECT_EQ(line["command"], "trace");
    return line["reply"]["operations"];
}

class Trace : public ::testing::Test {
protected:
    void start(ChildProcess::Environment helperEnvironment = {})
    {
        harness = std::make_unique<HelperHarness>(HelperHarness::Desktop::logicSim, std::nullopt, std::move(helperEnvironment));
        connection = harness->connect();
        harness->logicSim().ctl("set-logic", { { "markerTrackShown", true } });
    }
    /// The reply, and how long the client waited for it.
    std::pair<MarkerReply, double> createMarker(double start, const std::string& name, std::int64_t color)
    {
        auto begin = std::chrono::steady_clock::now();
        auto result = connection->createLogicMarkerWithTimecodeSeconds({ start, 1.0, name, color, 0.0, 25.0, false }, 30s);
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
        EXPECT_TRUE(result.hasValue());
        return { result.hasValue() ? result.value() : MarkerReply { false, 0.0, std::nullopt }, ms };
    }

    std::unique_ptr<HelperHarness> harness;
    std::unique_ptr<client::HelperConnection> connection;
};

TEST_F(Trace, TheLastThreeMarkersAreTimedStepByStepFromStartToEnd)
{
    start();
    std::vector<double> clientMs;
    for (int i = 0; i < 3; ++i) {
        auto [reply, ms] = createMarker(3601.0 + 4 * i, "Take " + std::to_string(i), i == 1 ? 12 : -1);
        EXPECT_TRUE(std::get<0>(reply));
        clientMs.push_back(ms);
    }
    ASSERT_TRUE(connection->closeColorsWindowWithReply({}, 10s).hasValue());

    // The batch's close came last; the three markers before it.
    json last = traceJSON(*harness, 4, {});
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0]["operation"], "closeColorsWindow");
    json operations = traceJSON(*harness, 4, { "--last", "4" });
    ASSERT_EQ(operations.size(), 4u);
    operations.erase(operations.end() - 1);
    for (std::size_t i = 0; i < operations.size(); ++i) {
        const json& marker = operations[i];
        EXPECT_EQ(marker["operation"], "createLogicMarker");
        EXPECT_EQ(marker["ok"], true);
        double wall = marker["durationMs"];
        // The record spans the request: all of the client's wait but the round trip.
        EXPECT_LE(wall, clientMs[i]);
        EXPECT_GE(wall, 0.95 * clientMs[i]) << "client " << clientMs[i] << " ms";
        double steps = 0;
        for (const json& step : marker["steps"])
            steps += step["durationMs"].get<double>();
        EXPECT_NEAR(steps, wall, 0.05 * wall) << marker.dump();
        // Steps nest: a Go to Position session inside the clip-end check, its dialog wait inside it.
        const json* clipEnd = findStep(marker["steps"], "go to the clip end");
        ASSERT_TRUE(clipEnd);
        const json* session = findStep((*clipEnd)["steps"], "Go to Position (verify clip end)");
        ASSERT_TRUE(session);
        EXPECT_TRUE(findStep((*session)["steps"], "wait for the dialog"));
        const json* settle = findStep(marker["steps"], "settle: Logic sets the locators");
        ASSERT_TRUE(settle);
        EXPECT_EQ((*settle)["kind"], "sleep");
        EXPECT_EQ((*settle)["plannedMs"], 500.0);
        EXPECT_EQ(findStep(marker["steps"], "click the colour cell") != nullptr, i == 1);
    }
}

TEST_F(Trace, AMarkerWithoutItsLocatorsDialogShowsTheDialogWaitAsTheFailedStep)
{
    start();
    // Logic refuses its next command: the Locators dialog never comes.
    harness->logicSim().ctl("fault", { { "op", "logic.runStoredAction" }, { "error", -1 }, { "count", 1 } });
    auto [reply, ms] = createMarker(3601.0, "Lost", 2);
    ASSERT_TRUE(std::get<2>(reply));
    ASSERT_EQ(std::get<2>(reply)->code, 40);

    json failed = traceJSON(*harness, 1, { "--failed" });
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0]["error"]["code"], 40);
    EXPECT_EQ(failed[0]["error"]["message"], "Set Left and Right Locator dialog did not appear in time");
    std::vector<json> marked;
    auto collect = [&](auto& self, const json& steps, const json* parent) -> void {
        for (const json& step : steps) {
            if (step.value("failed", false)) {
                marked.push_back(step);
                EXPECT_EQ((*parent)["name"], "Set Left and Right Locator");
            }
            if (step.contains("steps"))
                self(self, step["steps"], &step);
        }
    };
    json root { { "name", "" } };
    collect(collect, failed[0]["steps"], &root);
    ASSERT_EQ(marked.size(), 1u);
    const json& wait = marked[0];
    EXPECT_EQ(wait["name"], "wait for the dialog");
    EXPECT_EQ(wait["kind"], "wait");
    EXPECT_EQ(wait["outcome"], "timed-out");
    EXPECT_EQ(wait["waitedFor"], "Set Left and Right Locator: a modal window of Logic's, at most 2.0 s");
    EXPECT_GE(wait["durationMs"].get<double>(), 2000.0);
    EXPECT_LT(wait["durationMs"].get<double>(), 2600.0);
    // What the helper saw instead: Logic's windows, none of them modal.
    EXPECT_TRUE(wait["error"].get<std::string>().starts_with("no modal window; Logic's windows: count=1 | title=")) << wait.dump();
    EXPECT_NE(wait["error"].get<std::string>().find("modal=false"), std::string::npos);

    // The timeline a person reads marks that step.
    ToolRun view = runMarquee({ "trace", "--log", logFileWith(*harness, 1) });
    EXPECT_EQ(view.status, 0);
    bool markedRow = false;
    for (const std::string& line : view.out)
        markedRow = markedRow || (line.find("wait for the dialog") != std::string::npos && line.find("✗ failed step (timed-out)") != std::string::npos);
    EXPECT_TRUE(markedRow);
    EXPECT_NE(view.out.at(2).find("createLogicMarker"), std::string::npos);
    EXPECT_NE(view.out.at(2).find("FAILED 40: Set Left and Right Locator dialog did not appear in time"), std::string::npos);
}

TEST_F(Trace, MarkerNamesStayOutOfTheRecordsUnlessTheUserOptsIn)
{
    const std::string name = "Zebra \"Crossing\" 7";
    for (bool optedIn : { false, true }) {
        start(optedIn ? ChildProcess::Environment { { "MARQUEE_TRACE_NAMES", "1" } } : ChildProcess::Environment {});
        createMarker(3601.0, name, -1);
        json records = traceJSON(*harness, 1, {});
        ASSERT_EQ(records.size(), 1u);
        std::string text = records[0].dump();
        if (!optedIn) {
            EXPECT_EQ(text.find("Zebra"), std::string::npos) << text;
        } else {
            EXPECT_NE(text.find(R"(Zebra \"Crossing\" 7, Return (keystroke script))"), std::string::npos) << text;
        }
        EXPECT_EQ(text.find(R"(<name: 18 characters>, Return (keystroke script))") != std::string::npos, !optedIn) << text;
        // The helper's other lines are no business of the records.
        EXPECT_EQ(harness->countLogLines("trace: {") , 1u);
    }
}

TEST_F(Trace, ALogThatCannotBeReadSaysWhereItLooked)
{
    ToolRun missing = runMarquee({ "trace", "--json", "--log", "/nonexistent/helper.log" });
    EXPECT_EQ(missing.status, 1);
    ASSERT_EQ(missing.out.size(), 1u);
    json line = json::parse(missing.out[0]);
    EXPECT_EQ(line["ok"], false);
    EXPECT_EQ(line["error"]["kind"], "failed");
    EXPECT_EQ(line["error"]["message"],
        "cannot read the helper's log: looked in the file /nonexistent/helper.log (cannot read it: No such file or directory); give the file "
        "that holds the helper's standard error with --log FILE or MARQUEE_HELPER_LOG");

    start();
    ToolRun empty = runMarquee({ "trace", "--log", harness->writeLogFile() });
    EXPECT_EQ(empty.status, 1) << "a log without records";
}

} // namespace
} // namespace mq
