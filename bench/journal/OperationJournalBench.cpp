// What the operation journal costs one operation, in the helper's own time:
// recording the steps of a marker-sized operation (the steps and texts a
// coloured marker records), and finishing it (its record made and written to
// the log, here standard error sent to /dev/null, and kept in the ring).
//
// Usage: build/default/bench/journal/operation_journal_bench
#include "logic/OperationJournal.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

using mq::logic::OperationJournal;
using mq::logic::OperationTrace;
using mq::logic::StepKind;
using mq::logic::TraceStep;

// One Go to Position session as a marker records it (check, start, wait, check,
// measure, send, settle, close), nested in `parent`.
void goToPosition(OperationTrace* trace, const char* label)
{
    TraceStep session(trace, label, StepKind::group);
    { TraceStep ready(trace, "check Logic is ready for input", StepKind::check); }
    {
        TraceStep start(trace, "start stored action 21", StepKind::action);
        start.sent("action 21, in the background");
    }
    {
        TraceStep wait(trace, "wait for the dialog", StepKind::wait);
        wait.waitedFor(std::string(label) + ": a modal window of Logic's, at most 2.0 s");
    }
    {
        TraceStep check(trace, "check the dialog's structure", StepKind::check);
        check.found("\"Go to Position\" (AXWindow/AXDialog)");
    }
    {
        TraceStep measure(trace, "measure the view offset and layout", StepKind::read);
        measure.found("view offset 0 s");
    }
    {
        TraceStep send(trace, "type the position and confirm", StepKind::send);
        send.sent("Tab, 01:00:03:15, Return (keystroke script)");
        send.planned(0.1);
    }
    { TraceStep settle(trace, "settle: the playhead moves", StepKind::sleep); }
    { TraceStep close(trace, "close the dialog", StepKind::send); }
}

void recordMarker(OperationTrace* trace)
{
    { TraceStep lock(trace, "wait for Logic", StepKind::lock); }
    { TraceStep ready(trace, "check Logic is ready for input", StepKind::check); }
    {
        TraceStep locators(trace, "Set Left and Right Locator", StepKind::group);
        for (const char* name : { "check Logic is ready for input", "start stored action 476", "wait for the dialog", "check the dialog's structure" }) {
            TraceStep step(trace, name, StepKind::check);
            step.found("\"Set Left and Right Locator\" (AXWindow/AXDialog)");
        }
        TraceStep send(trace, "type the locators", StepKind::send);
        send.sent("Tab, 01:00:01:05, Tab Tab, 01:00:03:15, Return (keystroke script)");
    }
    { TraceStep settle(trace, "settle: Logic sets the locators", StepKind::sleep); }
    {
        TraceStep clipEnd(trace, "go to the clip end", StepKind::group);
        { TraceStep bar(trace, "read control bar", StepKind::read); bar.found("3603.600 s"); }
        goToPosition(trace, "Go to Position (verify clip end)");
        goToPosition(trace, "Go to Position (read playhead)");
    }
    { TraceStep inside(trace, "check the clip end lies inside the project", StepKind::check); inside.found("wanted 01:00:03:15 (3603.6 s), the playhead landed at 3603.6 s"); }
    for (int i = 0; i < 3; ++i) {
        { TraceStep action(trace, "stored action 2564", StepKind::action); action.sent("action 2564"); }
        { TraceStep settle(trace, "settle: after a marker action", StepKind::sleep); }
    }
    { TraceStep wait(trace, "wait for the name field", StepKind::wait); wait.waitedFor("a text field of Logic's with the keyboard focus, at most 2.0 s"); }
    { TraceStep send(trace, "type the marker's name", StepKind::send); send.sent(trace ? trace->nameText("Scene 12") + ", Return (keystroke script)" : ""); }
    {
        TraceStep colour(trace, "colour the marker", StepKind::group);
        for (const char* name : { "look for the Colors window", "check the cell is in front", "settle: the cursor is on the cell", "click the colour cell",
                 "settle: Logic takes the click" }) {
            TraceStep step(trace, name, StepKind::send);
            step.sent("cell 12 at (581, 367)");
        }
    }
    TraceStep closing(trace, "closing actions", StepKind::group);
    { TraceStep action(trace, "stored action 362", StepKind::action); action.sent("action 362"); }
    { TraceStep action(trace, "stored action 347", StepKind::action); action.sent("action 347"); }
}

void recordingOnly(benchmark::State& state)
{
    for (auto _ : state) {
        OperationTrace trace("createLogicMarker", false);
        recordMarker(&trace);
        benchmark::DoNotOptimize(trace.finish(true, nullptr));
    }
}
BENCHMARK(recordingOnly);

void recordedLoggedAndKept(benchmark::State& state)
{
    OperationJournal journal;
    for (auto _ : state) {
        std::unique_ptr<OperationTrace> trace = journal.begin("createLogicMarker");
        recordMarker(trace.get());
        journal.finish(std::move(trace), true);
    }
}
BENCHMARK(recordedLoggedAndKept);

void journalOff(benchmark::State& state)
{
    OperationJournal journal({ .enabled = false });
    for (auto _ : state) {
        std::unique_ptr<OperationTrace> trace = journal.begin("createLogicMarker");
        recordMarker(trace.get());
        journal.finish(std::move(trace), true);
    }
}
BENCHMARK(journalOff);

} // namespace

int main(int argc, char** argv)
{
    // The records go to standard error; the figures to standard output.
    if (!std::freopen("/dev/null", "w", stderr))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
