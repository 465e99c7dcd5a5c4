// What changed in Logic's document between two state reports (`logicsim ctl
// state`): tracks and regions are matched by their place in the document,
// markers by where they start. The snapshot marks the changed items and lists
// the changes in words.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace mq::sim {

enum class Change { same, added, changed };

struct DocumentChanges {
    /// One entry per track, region and marker of the later state.
    std::vector<Change> tracks, regions, markers;
    bool locators { false };
    bool playhead { false };
    /// Every change in words, e.g. `+ track 1 "Dialogue"`, `~ region "Line 12": colour 5 -> 12`.
    std::vector<std::string> lines;
};

DocumentChanges compareStates(const nlohmann::json& before, const nlohmann::json& after);

} // namespace mq::sim
