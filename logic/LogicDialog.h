// One dialog that an operation opens in Logic, from the action that opens it to
// its closing: the dialog is the one the action brought up, and every key sent
// to it goes through the input guard.
#pragma once

#include "ax/UIElement.h"
#include "logic/InputGuard.h"
#include "logic/LogicDriving.h"
#include "marquee/Expected.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mq::logic {

/// Why an operation could not use the dialog it asked for.
struct DialogRefusal {
    /// No modal window came in time: the operation's own "did not appear" message says it.
    bool timedOut { false };
    /// Otherwise what stood in the way, in words for a reply.
    std::string why;

    /// The reply's message: `missing` for a time-out, else `why`.
    std::string message(std::string_view missing) const;
};

class LogicDialog {
public:
    /// What the operation's dialog has to hold before anything is typed into it.
    using Structure = std::function<bool(const ax::UIElement& dialog)>;

    /// Opens a dialog with stored action `action` (started in the background) and
    /// waits for it under `label` (the dialog wait's time-out and log lines).
    /// Refused at once, with nothing started, when Logic is not the frontmost
    /// application or already shows a modal window (an alert, a panel, a dialog
    /// left open): that window is named and left alone. Refused, and the window
    /// left alone, when the modal window that comes does not have `structure`.
    static Expected<LogicDialog, DialogRefusal> open(LogicDriving& logic, std::uint32_t action, std::string_view label,
        const Structure& structure);

    LogicDialog(LogicDialog&& other) noexcept;
    LogicDialog& operator=(LogicDialog&&) = delete;
    LogicDialog(const LogicDialog&) = delete;
    LogicDialog& operator=(const LogicDialog&) = delete;
    /// Closes the dialog (see close()).
    ~LogicDialog();

    const ax::UIElement& element() const { return *m_dialog; }
    LogicDriving& logic() const { return *m_logic; }

    /// Nothing when the dialog is Logic's front modal window and Logic the
    /// frontmost application; otherwise why not.
    [[nodiscard]] std::optional<std::string> whyNotInFront() const;

    /// Runs `send` (a keystroke script or key events for the dialog) when the
    /// dialog is in front; why not otherwise, or an empty text when `send` failed. `confirms`
    /// says that what is sent ends with the key that closes the dialog, after
    /// which no key is sent to it again. Recorded as step `step` that sent `sent`,
    /// with the fixed delays of a script as its planned time.
    Expected<void, std::string> send(std::string_view step, std::string sent, const std::function<bool()>& send, bool confirms,
        double plannedSeconds = 0);

    /// Closes the dialog when it is still one of Logic's windows: with the Escape
    /// script while it is Logic's front dialog and no confirming key was sent,
    /// else by pressing its cancel button, which needs no key at all. Logs when
    /// neither could be done. Does nothing the second time.
    void close();

private:
    LogicDialog(LogicDriving& logic, ax::UIElement dialog);

    LogicDriving* m_logic;
    std::optional<ax::UIElement> m_dialog;
    bool m_confirmSent { false };
};

/// A failed step's reply message: `failed` alone when what was sent failed
/// (`why` empty), else `failed` with the reason nothing was sent in parentheses.
std::string inputFailureMessage(std::string_view failed, const std::string& why);

/// Whether the dialog's AXGroup number `index` (0 for the first) reads as a timecode.
bool readsTimecodeGroup(const ax::UIElement& dialog, std::size_t index);

} // namespace mq::logic
