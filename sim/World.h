// logicsim's world, made of its parts: the accessibility tree, the workspace,
// the permissions, the desktop, Logic's transport and dialogs, Logic's document,
// the Colors window, the injected faults, the event log and the user interface's latency. Each part
// is a plain struct; the operations on them are free functions in the part's
// file. One World lives on the server's single thread and nothing here locks.
#pragma once

#include "sim/ColorsWindow.h"
#include "sim/Desktop.h"
#include "sim/Dialogs.h"
#include "sim/ElementTree.h"
#include "sim/EventLog.h"
#include "sim/ExportDialog.h"
#include "sim/Faults.h"
#include "sim/FileReferences.h"
#include "sim/Latency.h"
#include "sim/LogicDocument.h"
#include "sim/Movie.h"
#include "sim/Permissions.h"
#include "sim/Transport.h"
#include "sim/Volatility.h"
#include "sim/Workspace.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mq::sim {

/// Runs a job after a delay on the server's thread (the server's timers).
using Scheduler = std::function<void(std::chrono::milliseconds, std::function<void()>)>;

struct World {
    ElementTree tree;
    Workspace workspace;
    Permissions permissions;
    Desktop desktop;
    Transport transport;
    /// The control bar's language: en de es fr ja ko zh.
    std::string language { "en" };
    Dialogs dialogs;
    /// Logic's document: markers, tracks, regions, locators, the marker track
    /// and the selection.
    LogicDocument document;
    /// Where Logic's Colors window shows.
    ColorsPanel colorsPanel;
    /// Logic's movie: the open dialog, loading, the movie window and region.
    Movie movie;
    /// Logic's export dialog and the files it wrote.
    Export exportDialog;
    Faults faults;
    /// The file system's references made for clients (FSPathMakeRef).
    FileCatalogue files;
    EventLog log;
    Latency latency;
    Volatility volatility;
    /// Messages to push to every client, gathered until the server sends them.
    std::vector<nlohmann::json> broadcasts;
    /// Counts scenario loads: a delayed effect belongs to the world it was made in.
    std::uint64_t generation { 0 };
    Scheduler scheduler;
    /// Until when Logic's main thread is busy (importing a file, loading a movie,
    /// bouncing): accessibility calls to Logic, input, stored actions and the
    /// Apple Event handler wait until then.
    std::chrono::steady_clock::time_point logicBusyUntil {};

    /// Runs `effect` on this world after `delay` (at once when no server
    /// schedules), unless another scenario was loaded meanwhile.
    void later(std::chrono::milliseconds delay, std::function<void(World&)> effect);
    /// Keeps Logic's main thread busy for `duration` from now (or longer, when
    /// it already is), and records it.
    void keepLogicBusy(std::chrono::milliseconds duration, const char* why);
    /// How long Logic's main thread stays busy from now; zero when it is free.
    std::chrono::milliseconds logicBusyFor() const;
    void record(nlohmann::json entry) { log.log(std::move(entry)); }
    /// An accessibility notification for `token` to every client.
    void notifyAccessibility(Token token, const char* notification);
    /// A workspace or distributed notification to every client, logged.
    void notify(const std::string& center, const std::string& name);
};

} // namespace mq::sim
