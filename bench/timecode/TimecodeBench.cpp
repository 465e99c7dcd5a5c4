// Cost of the conversions that every Logic-driving request makes: seconds to
// typed text, and reading a timecode element's value text.
#include "marquee/SMPTEComponents.h"
#include "timecode/TimecodeParsing.h"
#include "timecode/TypedTimecodeText.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <string>

namespace {

using namespace mq::timecode;

// Positions spread over a day, so that no single branch or value is measured.
constexpr std::array<double, 8> kPositions { 0.0, 59.94, 600.0, 3661.52, 12345.678, 43210.5, 86399.99, 7.125 };

void componentsAndTypedText(benchmark::State& state, TimecodeLayout layout, double frameRate, bool isDropFrame)
{
    std::size_t i = 0;
    for (auto _ : state) {
        const SMPTEComponents components = smpteComponents(kPositions[i++ % kPositions.size()], frameRate, isDropFrame);
        std::string text = typedTimecodeText(components, layout, frameRate);
        benchmark::DoNotOptimize(text);
    }
}

BENCHMARK_CAPTURE(componentsAndTypedText, frames_29_97_drop, TimecodeLayout::frames(), 29.97, true);
BENCHMARK_CAPTURE(componentsAndTypedText, subframes_25, TimecodeLayout::subframes(), 25.0, false);
BENCHMARK_CAPTURE(componentsAndTypedText, secondsFraction3_24, TimecodeLayout::secondsFraction(3), 24.0, false);

void valueText(benchmark::State& state, std::array<std::string, 4> texts)
{
    std::size_t i = 0;
    for (auto _ : state) {
        auto fields = parseTimecodeValueText(texts[i++ % texts.size()]);
        benchmark::DoNotOptimize(fields);
    }
}

BENCHMARK_CAPTURE(valueText, mixed_layouts,
    std::array<std::string, 4> { "01:00:00:00", "01:02:03:04.40", "00:59:59,250", "12:34:56:12/3" });
BENCHMARK_CAPTURE(valueText, not_a_timecode,
    std::array<std::string, 4> { "Bar 1", "01:00:00", "01:0:00:00", "1 2 3 4 5 6 7:8" });

} // namespace

BENCHMARK_MAIN();
