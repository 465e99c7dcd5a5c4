// Logic's transport and the control bar's time display: the playhead, which
// moves in real time while playing, the settings that shape the time labels of
// the display and the dialogs, and the control bar that can be hidden.
#pragma once

#include "sim/ElementTree.h"
#include "sim/TimeLabel.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>
#include <string>

namespace mq::sim {

struct World;

/// The transport's settings: what `set-transport` changes and `state` reports.
struct TransportSettings {
    double frameRate { 25 };
    bool dropFrame { false };
    double playheadSeconds { 3600 };
    bool playing { false };
    /// While true the control bar's display shows the playhead; set-display stops it.
    bool displayFollowsPlayhead { true };
    /// Where the project ends. Playing stops there when it is set; positions
    /// typed into dialogs are clamped to it (to an hour after bar 1 when unset).
    std::optional<double> projectEndSeconds;
    double bar1Seconds { 3600 };
    double barSeconds { 2.0 }; // four beats
    /// The control bar display's layout once chosen: frames, subframes,
    /// quarterFrames, samples, secondsFraction, barsAndBeats, unknownFifth.
    std::optional<std::string> controlBarDisplay;
    /// The display's sliders listed right to left (their positions stay left to right).
    bool slidersOutOfOrder { false };
    /// How the dialogs show time: frames, subframes, quarterFrames, samples, secondsFraction:N.
    std::string displayLayout { "frames" };
    /// "text": a dialog's time group holds the label as its value; "children":
    /// one static text per field, the digits in its value description.
    std::string dialogFields { "text" };
    /// The dialogs show control-bar time minus this offset.
    double smpteViewOffsetSeconds { 0 };
    /// How the digits in value descriptions are written.
    DigitStyle digits { DigitStyle::padded };

    /// Sets the fields named in `settings`. Throws std::runtime_error naming
    /// an unknown field or a value of the wrong type; nothing changes then.
    void merge(const nlohmann::json& settings);
    nlohmann::json describe() const;

    double projectEnd() const { return projectEndSeconds.value_or(bar1Seconds + 3600); }
    TimeFormat timeFormat() const { return TimeFormat::of(frameRate, dropFrame); }
    std::string controlBarLayout() const { return controlBarDisplay.value_or("frames"); }
};

/// The transport and the control bar's hidden state.
struct Transport {
    TransportSettings settings;

    // Playing: the playhead is the start position plus the time since play.
    std::chrono::steady_clock::time_point playStarted {};
    double playStartSeconds { 0 };
    double playheadWritten { -1 }; // the playhead as advanceTransport last wrote it

    // The hidden control bar's definition and the window it came from.
    std::optional<nlohmann::json> hiddenControlBar;
    Token hiddenControlBarWindow { 0 };
    std::size_t hiddenControlBarIndex { 0 }; // its place among the window's children
};

/// Brings a playing transport's playhead, and the display, up to the present.
/// Every request and control command starts with it, so each read of the
/// display sees the time of the read.
void advanceTransport(World& world);
void startPlaying(World& world);
void stopPlaying(World& world);
/// Moves the playhead; while playing, it plays on from there.
void movePlayhead(World& world, double seconds);
/// Shows the playhead in the control bar's display (while it follows).
void updateDisplayFromPlayhead(World& world);
/// Replaces the display's sliders with those of the chosen layout, in the
/// current language and listing order. Throws when there is no display.
void rebuildTimeDisplay(World& world);
/// Takes the control bar out of its window (its elements are destroyed), or
/// puts a new one back where it was.
void setControlBarHidden(World& world, bool hidden);
/// Names the control bar and the display's fields in `language`. Throws for a
/// language logicsim does not speak.
void applyDisplayLanguage(World& world, const std::string& language);
/// The display's sliders, left to right on screen.
std::vector<Token> slidersOnScreen(const ElementTree& tree, const Element& display);

} // namespace mq::sim
