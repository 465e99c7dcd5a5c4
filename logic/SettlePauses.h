// The pauses the Logic-driving operations leave for Logic to take in what was
// just sent before they look or send again. Each exists because Logic applies
// that input later than the call that sent it returns; none waits for a window
// (that is waitForLogicWindow's job, which wakes on Logic's notifications).
#pragma once

namespace mq::logic::settle {

/// Go to Position: after Tab into the SMPTE field, before typing. Logic selects
/// the field's text when the focus arrives; typed keys before that are added to
/// the old text instead of replacing it.
inline constexpr double kAfterTabIntoFieldSeconds = 0.06;

/// Go to Position: after the Tab that ends the typing, before the landing is read
/// and the dialog confirmed. Logic takes a typed value a moment after Tab, and
/// the SMPTE group shows the old position until then.
inline constexpr double kTypedValueCommitSeconds = 0.5;

/// Go to Position: the script that types a position and confirms it pauses
/// this long between its Tab and the text ("delay 0.1" in KeystrokeScripts).
inline constexpr double kTabDelayScriptSeconds = 0.1;

/// Bounce: the go-to-folder script's own pauses ("delay 1.0", three times).
inline constexpr double kGoToFolderScriptSeconds = 3.0;

/// Go to Position (project start): after "1 1 1 1" and Tab, before the SMPTE
/// group is read: the group shows bar 1's time once Logic took the bar.
inline constexpr double kBarOneCommitSeconds = 0.05;

/// Markers: after the Locators script, before the next dialog opens. Logic sets
/// the locators when the dialog closes, and the next dialog shows them.
inline constexpr double kLocatorsCommitSeconds = 0.5;

/// Markers: after the clip-end Go to Position, before the playhead is read back:
/// the playhead moves when the dialog closes.
inline constexpr double kClipEndMoveSeconds = 0.5;

/// Markers: after each of the three marker-creation actions: each acts on what
/// the previous one made.
inline constexpr double kAfterMarkerCreationStepSeconds = 0.2;

/// Placement: after the playhead moved, before a track is made or the file sent.
inline constexpr double kAfterPlayheadMoveSeconds = 0.1;
/// Placement: after a new track, before its name is edited: the name edit acts
/// on the selected track, which the new track becomes a moment later.
inline constexpr double kAfterNewTrackSeconds = 0.3;
/// Placement: after the track name edit opened, before its name is typed.
inline constexpr double kAfterTrackNameEditSeconds = 0.2;
/// Placement: after the track name was typed, before the file is sent.
inline constexpr double kAfterTrackNameSeconds = 0.1;
/// Placement: after the spot event, before the placed region is selected.
inline constexpr double kAfterSpotSeconds = 0.1;

/// Bounce: after stopping the transport, before the playhead is moved: a
/// playing Logic moves the playhead on by itself.
inline constexpr double kStopTransportSeconds = 0.3;
/// Bounce: after the playhead moved, before the next step.
inline constexpr double kBouncePlayheadSeconds = 0.1;

/// Colors window: after moving it, before its frame is read back.
inline constexpr double kColorsWindowMoveSeconds = 0.05;
/// Colors window: after the cursor moved onto a cell, before the click, and
/// after the click, before the cursor goes back: Logic tracks the cursor.
inline constexpr double kCursorSettleSeconds = 0.05;

/// Marker track: after its toggle, before it is looked for again.
inline constexpr double kMarkerTrackToggleSeconds = 0.2;
/// Marker track and Colors window: after the toggle that hides or closes them.
inline constexpr double kHideToggleSeconds = 0.1;

} // namespace mq::logic::settle
