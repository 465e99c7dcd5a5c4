// The content of Logic's main window as a real project shows it: the toolbar,
// the inspector with two channel strips, the track headers, the tracks area with
// its regions and the library, a few thousand elements in all, listed before the
// window's own children (the control bar), as Logic lists them: a depth-first
// search that examines the last child first meets the control bar before the
// big tracks area. A scenario asks for it on a window:
//   "logicContent": {"tracks": 48, "regionsPerTrack": 20, "libraryCategories": 12}
#pragma once

#include <nlohmann/json.hpp>

namespace mq::sim {

/// What a window's "logicContent" asks for.
struct LogicContent {
    int tracks { 48 };
    int regionsPerTrack { 20 };
    int libraryCategories { 12 };
    int patchesPerCategory { 20 };

    /// Throws std::runtime_error on a negative or absurd count.
    static LogicContent fromScenario(const nlohmann::json& settings);
};

/// The element definitions the content adds before a window's own children.
nlohmann::json logicMainWindowChildren(const LogicContent& content);

/// `application` (a scenario entry) with every window's "logicContent" expanded
/// into children.
nlohmann::json expandLogicMainWindows(const nlohmann::json& application);

} // namespace mq::sim
