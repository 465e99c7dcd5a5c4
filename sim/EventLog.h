// What happened in the world, kept for the state report: the event log, the key
// and mouse events, scripts, Apple Events, opened URLs and closed dialogs.
// Each list keeps its last 2000 entries.
#pragma once

#include <nlohmann/json.hpp>

namespace mq::sim {

struct EventLog {
    static constexpr std::size_t kMaxEntries = 2000;

    nlohmann::json events = nlohmann::json::array();
    nlohmann::json keyEvents = nlohmann::json::array();
    nlohmann::json mouseEvents = nlohmann::json::array();
    nlohmann::json scripts = nlohmann::json::array();
    nlohmann::json appleEvents = nlohmann::json::array();
    nlohmann::json openedURLs = nlohmann::json::array();
    nlohmann::json dialogResults = nlohmann::json::array();

    /// Appends `entry` to `list`, dropping the oldest entry when it is full.
    static void append(nlohmann::json& list, nlohmann::json entry)
    {
        if (list.size() >= kMaxEntries)
            list.erase(list.begin());
        list.push_back(std::move(entry));
    }
    void log(nlohmann::json entry) { append(events, std::move(entry)); }
};

} // namespace mq::sim
