// How long logicsim's user interface takes, as a real application's does: a
// window appears some time after the action that opens it, a value typed into
// a dialog field takes effect some time after Tab, an imported file takes time
// growing with its length, and every accessibility call costs time on the
// application's side. Delays are drawn from a seeded generator, so a scenario
// gives the same delays in the same order every run.
//
// Real delays are heavy-tailed: most are short, a few are long. A range may
// therefore carry a tail: [min, max, tailMax, tailPercent] draws from
// [min, max] but, tailPercent times in a hundred, from (max, tailMax].
//
// Two named profiles: "quick" (the default, for the bulk of the tests) and
// "slow" (a loaded machine and large files). The profile a scenario does not
// name comes from the environment variable LOGICSIM_LATENCY_PROFILE, else
// "quick". Fields given beside the profile override it.
//
// Scenario: "latency": {"profile": "quick", "seed": 1, "windowOpenMs": [80, 250],
//                       "commitMs": [20, 40], "nameEditorMs": [20, 60], "importMs": [30, 60],
//                       "importMsPerSecond": 0, "importBusyPercent": 100,
//                       "exportGapMs": [300, 600], "accessibilityCallMs": 0}
// A range may be a single number for a fixed delay.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>

namespace mq::sim {

class Latency {
public:
    struct Range {
        int minMs;
        int maxMs;
        /// The longest delay of the tail; equal to maxMs when there is no tail.
        int tailMaxMs;
        /// How often in a hundred draws fall in the tail.
        int tailPercent;
    };

    /// The scenario's "latency" object (or null for the defaults). Throws
    /// std::runtime_error on an unknown profile, a negative or reversed range.
    static Latency fromScenario(const nlohmann::json& settings);
    /// The profile a scenario that names none gets: LOGICSIM_LATENCY_PROFILE, else "quick".
    static std::string defaultProfile();

    /// The next delay before a newly opened window shows.
    std::chrono::milliseconds windowOpen() { return draw(m_windowOpen); }
    /// The next delay before a committed field's value takes effect.
    std::chrono::milliseconds commit() { return draw(m_commit); }
    /// The next delay before a name field that Logic opens in place (a track's or
    /// a marker's name) takes typing.
    std::chrono::milliseconds nameEditor() { return draw(m_nameEditor); }
    /// The next delay before an audio file of `lengthSeconds` spotted onto the
    /// timeline shows as a region (at most 1500 ms beyond the drawn base).
    std::chrono::milliseconds audioImport(double lengthSeconds = 0);
    /// How much of an import, in hundredths, keeps Logic's main thread busy (the
    /// start, when Logic opens the file); the rest, reading the audio for its
    /// overview, runs in the background while Logic answers, and the region shows
    /// at the import's end.
    int importBusyPercent() const { return m_importBusyPercent; }
    /// The next gap between the export panel closing and the progress window opening.
    std::chrono::milliseconds exportGap() { return draw(m_exportGap); }
    /// What one accessibility call costs the application.
    std::chrono::microseconds accessibilityCall() const { return m_accessibilityCall; }

    nlohmann::json describe() const;

private:
    std::chrono::milliseconds draw(const Range& range);

    std::string m_profile { "quick" };
    std::uint64_t m_seed { 1 };
    Range m_windowOpen { 80, 250, 250, 0 };
    Range m_commit { 20, 40, 40, 0 };
    Range m_nameEditor { 20, 60, 60, 0 };
    Range m_import { 30, 60, 60, 0 };
    double m_importMsPerSecond { 0 };
    int m_importBusyPercent { 100 };
    Range m_exportGap { 300, 600, 600, 0 };
    std::chrono::microseconds m_accessibilityCall { 0 };
    std::mt19937_64 m_random { 1 };
};

} // namespace mq::sim
