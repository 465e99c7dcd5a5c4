// The operation journal: steps nest and cover their operation, the step a
// failure came from is marked, names stay out of the records unless revealed,
// the ring keeps the last operations, and the settings are read as documented.
#include "logic/OperationJournal.h"
#include "platform/Log.h"
#include "protocol/OperationRecordFormat.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>

namespace mq::logic {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

/// The one record logged while `capture` lived.
json loggedRecord(const log::LogCapture& capture)
{
    std::optional<json> found;
    for (const log::CapturedLine& line : capture.lines())
        if (auto text = operationrecord::recordJSON(line.message); text && line.category == operationrecord::kCategory) {
            EXPECT_FALSE(found) << "a second record";
            found = json::parse(*text);
        }
    EXPECT_TRUE(found) << "no record was logged";
    return found.value_or(json::object());
}

/// A marker whose Locators dialog never came, recorded as the operation records it.
void recordFailedMarker(OperationTrace* trace)
{
    trace->protectName("Intro");
    { TraceStep lock(trace, "wait for Logic", StepKind::lock); }
    {
        TraceStep locators(trace, "Set Left and Right Locator", StepKind::group);
        {
            TraceStep ready(trace, "check Logic is ready for input", StepKind::check);
        }
        settleFor(trace, "settle", 0.005);
        TraceStep wait(trace, "wait for the dialog", StepKind::wait);
        wait.waitedFor("Set Left and Right Locator: a modal window of Logic's, at most 2.0 s");
        std::this_thread::sleep_for(10ms);
        wait.fail(StepOutcome::timedOut, "no modal window; Logic's windows: count=1 | title=Song subrole=AXStandardWindow modal=false");
    }
    TraceStep name(trace, "type the marker's name", StepKind::send);
    name.sent(trace->nameText("Intro") + ", Return");
}

TEST(OperationJournal, ARecordNestsItsStepsMarksTheFailedOneAndNamesNoName)
{
    log::LogCapture capture;
    OperationJournal journal;
    std::unique_ptr<OperationTrace> trace = journal.begin("createLogicMarker");
    ASSERT_TRUE(trace);
    recordFailedMarker(trace.get());
    ServiceError error = makeServiceError(46, "Marker 'Intro' was made and named but not coloured (Logic is not in front)");
    journal.finish(std::move(trace), false, &error);

    json record = loggedRecord(capture);
    EXPECT_EQ(record["format"], 1);
    EXPECT_EQ(record["operation"], "createLogicMarker");
    EXPECT_EQ(record["ok"], false);
    EXPECT_EQ(record["error"]["code"], 46);
    EXPECT_EQ(record["error"]["message"], "Marker '<name: 5 characters>' was made and named but not coloured (Logic is not in front)");
    ASSERT_EQ(record["steps"].size(), 3u);
    const json& locators = record["steps"][1];
    EXPECT_EQ(locators["kind"], "group");
    ASSERT_EQ(locators["steps"].size(), 3u);
    EXPECT_EQ(locators["steps"][1]["kind"], "sleep");
    EXPECT_EQ(locators["steps"][1]["plannedMs"], 5.0);
    const json& wait = locators["steps"][2];
    EXPECT_EQ(wait["name"], "wait for the dialog");
    EXPECT_EQ(wait["outcome"], "timed-out");
    EXPECT_EQ(wait["failed"], true);
    EXPECT_GE(wait["durationMs"].get<double>(), 10.0);
    EXPECT_NE(wait["error"].get<std::string>().find("count=1"), std::string::npos);
    EXPECT_FALSE(locators.contains("failed")) << "only the step the failure came from is marked";
    EXPECT_EQ(record["steps"][2]["sent"], "<name: 5 characters>, Return");
    EXPECT_EQ(record.dump().find("Intro"), std::string::npos);

    // The steps lie inside the operation and one after the other.
    double total = record["durationMs"];
    double sum = 0;
    double previousEnd = 0;
    for (const json& step : record["steps"]) {
        EXPECT_GE(step["startMs"].get<double>(), previousEnd - 0.001);
        previousEnd = step["startMs"].get<double>() + step["durationMs"].get<double>();
        sum += step["durationMs"].get<double>();
    }
    EXPECT_LE(previousEnd, total + 0.001);
    EXPECT_GT(sum, 0.9 * total);
    EXPECT_EQ(capture.count("trace: {", "helper.service"), 1u);
}

TEST(OperationJournal, RevealedNamesAreKept)
{
    log::LogCapture capture;
    OperationJournal journal({ .enabled = true, .revealNames = true, .capacity = 4 });
    std::unique_ptr<OperationTrace> trace = journal.begin("createLogicMarker");
    recordFailedMarker(trace.get());
    ServiceError error = makeServiceError(46, "Marker 'Intro' was made and named but not coloured");
    journal.finish(std::move(trace), false, &error);
    json record = loggedRecord(capture);
    EXPECT_EQ(record["steps"][2]["sent"], "Intro, Return");
    EXPECT_EQ(record["error"]["message"], "Marker 'Intro' was made and named but not coloured");
}

TEST(OperationJournal, TheRingKeepsTheLastOperationsAndAnOffJournalRecordsNothing)
{
    log::LogCapture capture;
    OperationJournal journal({ .enabled = true, .revealNames = false, .capacity = 3 });
    for (int i = 0; i < 5; ++i) {
        std::unique_ptr<OperationTrace> trace = journal.begin("op" + std::to_string(i));
        TraceStep step(trace.get(), "step", StepKind::read);
        step.end();
        journal.finish(std::move(trace), i != 3);
    }
    std::vector<JournalEntry> kept = journal.recent(10);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept.front().operation, "op2");
    EXPECT_EQ(kept.back().operation, "op4");
    EXPECT_EQ(kept.back().sequence, 5u);
    EXPECT_FALSE(kept[1].ok);
    EXPECT_EQ(journal.recent(1).front().operation, "op4");
    // A failed operation's record is logged a level higher, so that it outlives the others.
    EXPECT_EQ(capture.count("trace: {\"format\":1,\"sequence\":4,"), 1u);
    for (const log::CapturedLine& line : capture.lines()) {
        if (line.message.find("\"sequence\":4,") != std::string::npos) {
            EXPECT_EQ(line.level, log::Level::notice);
        }
    }

    OperationJournal off({ .enabled = false });
    EXPECT_EQ(off.begin("op"), nullptr);
    off.finish(nullptr, true);
    EXPECT_TRUE(off.recent(10).empty());
    // Steps on no trace record nothing and cost nothing.
    TraceStep nothing(nullptr, "step", StepKind::wait);
    EXPECT_FALSE(nothing.recording());
}

TEST(OperationJournal, SettingsComeFromTheEnvironmentBeforeTheConfigurationFile)
{
    test::TempRuntimeDir directory;
    const std::string file = directory.file("helper.json");
    struct Case {
        const char* fileText; // nullptr: no file
        const char* journalVariable; // nullptr: unset
        const char* namesVariable;
        bool enabled;
        bool revealNames;
    };
    const Case cases[] = {
        { nullptr, nullptr, nullptr, true, false },
        { R"({"operationJournal": false, "traceNames": true})", nullptr, nullptr, false, true },
        { R"({"operationJournal": false, "traceNames": true})", "on", "0", true, false },
        { R"({"traceNames": "yes"})", nullptr, nullptr, true, false }, // not a boolean: ignored
        { "not json", "off", "1", false, true },
        { nullptr, "maybe", "", true, false }, // neither word: ignored
    };
    for (const Case& c : cases) {
        std::remove(file.c_str());
        if (c.fileText)
            std::ofstream(file) << c.fileText;
        for (auto [name, value] : { std::pair { "MARQUEE_OPERATION_JOURNAL", c.journalVariable }, std::pair { "MARQUEE_TRACE_NAMES", c.namesVariable } }) {
            if (value)
                ::setenv(name, value, 1);
            else
                ::unsetenv(name);
        }
        JournalSettings settings = JournalSettings::load(file);
        EXPECT_EQ(settings.enabled, c.enabled) << (c.fileText ? c.fileText : "no file");
        EXPECT_EQ(settings.revealNames, c.revealNames) << (c.fileText ? c.fileText : "no file");
    }
    ::unsetenv("MARQUEE_OPERATION_JOURNAL");
    ::unsetenv("MARQUEE_TRACE_NAMES");
}

} // namespace
} // namespace mq::logic
