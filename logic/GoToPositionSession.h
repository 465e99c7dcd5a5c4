// One use of Logic's "Go to Position" dialog: opened with stored action 21,
// waited for, checked to be the dialog (its timecode groups), its view offset
// measured, typed into through the input guard, settled, and closed on every
// path. Every operation that moves or reads the playhead through the dialog
// (Go to Position's three requests, a marker's clip-end check, placement,
// bounce step 1) goes through it.
#pragma once

#include "logic/LogicDialog.h"
#include "logic/OperationTrace.h"
#include "timecode/TimecodeFields.h"

#include <optional>
#include <string>
#include <string_view>

namespace mq::logic {

class GoToPositionSession {
public:
    /// Opens the dialog (see LogicDialog::open) and measures the view offset
    /// against `controlBarSeconds` (the control bar read just before the dialog
    /// opened) at `frameRate`. The session is one step of the operation, named
    /// `label`, from here to close() (or its end); what is done through it nests inside.
    static Expected<GoToPositionSession, DialogRefusal> open(LogicDriving& logic, std::string_view label,
        std::optional<double> controlBarSeconds, double frameRate);

    const ax::UIElement& dialog() const { return m_dialog.element(); }
    /// Control-bar time minus dialog time, whole frames; NaN when not measurable.
    double viewOffsetSeconds() const { return m_viewOffsetSeconds; }
    /// The layout the dialog shows its SMPTE time in.
    const timecode::TimecodeLayout& layout() const { return m_layout; }

    /// The dialog's current position (its first timecode group).
    [[nodiscard]] std::optional<timecode::TimecodeFields> currentPosition() const;

    /// Tab, a pause, `text`, Return (one keystroke script): the playhead goes to
    /// `text` and the dialog closes; then `settleSeconds` for Logic to move it.
    Expected<void, std::string> enterAndConfirm(std::string_view text, double settleSeconds);

    /// "1 1 1 1" and Tab into the bar field (one keystroke script), then the bar's
    /// commit pause; the third group shows bar 1's time afterwards.
    Expected<void, std::string> enterBarOne();

    /// Tab, `text` as key events, Tab, with the guard asked before every key, then
    /// the commit pause; the third group shows where the playhead will land.
    Expected<void, std::string> typeWithKeyEvents(std::string_view text);

    /// Presses the default button (Return when it has none), guarded.
    Expected<void, std::string> confirm();

    /// Cancels the dialog if it is still open (see LogicDialog::close), and ends the session's step.
    void close()
    {
        m_dialog.close();
        m_step.end();
    }

private:
    GoToPositionSession(TraceStep step, LogicDialog dialog, double viewOffsetSeconds, timecode::TimecodeLayout layout);
    Expected<void, std::string> pressKey(std::string_view step, std::uint16_t key);

    // Declared first, so that it ends after the dialog has been closed.
    TraceStep m_step;
    LogicDialog m_dialog;
    double m_viewOffsetSeconds;
    timecode::TimecodeLayout m_layout;
};

} // namespace mq::logic
