// How long logicsim's user interface takes, as a real application's does: a
// window appears some time after the action that opens it, a value typed into
// a dialog field takes effect some time after Tab, and every accessibility call
// costs time on the application's side. Delays are drawn from a seeded
// generator, so a scenario gives the same delays in the same order every run.
//
// Scenario: "latency": {"seed": 1, "windowOpenMs": [80, 250], "commitMs": [20, 40],
//                       "nameEditorMs": [20, 60], "importMs": [30, 60], "accessibilityCallMs": 0}
// A range may be a single number for a fixed delay.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <random>

namespace mq::sim {

class Latency {
public:
    struct Range {
        int minMs;
        int maxMs;
    };

    /// The scenario's "latency" object (or null for the defaults). Throws
    /// std::runtime_error on a negative or reversed range.
    static Latency fromScenario(const nlohmann::json& settings);

    /// The next delay before a newly opened window shows.
    std::chrono::milliseconds windowOpen() { return draw(m_windowOpen); }
    /// The next delay before a committed field's value takes effect.
    std::chrono::milliseconds commit() { return draw(m_commit); }
    /// The next delay before a name field that Logic opens in place (a track's or
    /// a marker's name) takes typing.
    std::chrono::milliseconds nameEditor() { return draw(m_nameEditor); }
    /// The next delay before an audio file spotted onto the timeline shows as a region.
    std::chrono::milliseconds audioImport() { return draw(m_import); }
    /// What one accessibility call costs the application.
    std::chrono::microseconds accessibilityCall() const { return m_accessibilityCall; }

    nlohmann::json describe() const;

private:
    std::chrono::milliseconds draw(const Range& range);

    std::uint64_t m_seed { 1 };
    Range m_windowOpen { 80, 250 };
    Range m_commit { 20, 40 };
    Range m_nameEditor { 20, 60 };
    Range m_import { 30, 60 };
    std::chrono::microseconds m_accessibilityCall { 0 };
    std::mt19937_64 m_random { 1 };
};

} // namespace mq::sim
