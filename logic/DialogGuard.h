// Makes sure that what an operation sends to one of Logic's dialogs can go
// nowhere else.
//
// Synthetic key events go to whatever application is in front. If Logic quits, is
// killed or hangs after a dialog opened, or the dialog closes, the keys typed for
// it would land in the user's other work. An operation asks the guard before it
// types and before it confirms, and sends nothing more when the dialog is no
// longer Logic's front window.
#pragma once

#include "ax/UIElement.h"
#include "platform/Platform.h"

#include <optional>
#include <string>

namespace mq::logic {

class DialogGuard {
public:
    /// Seconds each of the guard's own accessibility reads may take; a Logic that
    /// does not answer in that time is taken for hung.
    static constexpr float kReadTimeoutSeconds = 1.0f;

    /// Guards `dialog`, a modal window of Logic that an operation has just waited
    /// for. Every read of the dialog (through any copy of its element) is bounded
    /// by kReadTimeoutSeconds from now on, so that a hung Logic holds the
    /// operation up seconds, not minutes.
    DialogGuard(platform::Platform& platform, ax::UIElement dialog);

    /// Nothing when the dialog's application is still running, answers, is the
    /// frontmost application, and shows `dialog` as its front modal window;
    /// otherwise why not, in words for a log line.
    std::optional<std::string> whyNotInFront() const;

private:
    platform::Platform& m_platform;
    ax::UIElement m_dialog;
};

} // namespace mq::logic
