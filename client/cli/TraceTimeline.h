// `marquee trace`'s terminal view: one operation record drawn as a timeline,
// a row per step, indented by nesting, with a bar whose place and length are
// the step's share of the operation's time.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace mq::cli {

struct TimelineStyle {
    /// ANSI colours (a terminal): waits, fixed sleeps and the rest apart, the failed step red.
    bool colour { false };
    /// Columns the rows may fill.
    int width { 100 };
    /// What each step waited for, found and sent, under its row; otherwise
    /// only under the failed step's.
    bool details { false };
};

/// The timeline of `record` (docs/trace.md), ending in a newline.
std::string drawTimeline(const nlohmann::json& record, const TimelineStyle& style);

} // namespace mq::cli
