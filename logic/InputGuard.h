// Makes sure that a key or a click the helper sends can land in Logic only, and
// there only on the element meant to receive it.
//
// Synthetic key events and System Events keystrokes go to the frontmost
// application's key window and focused element, whatever process a script
// names; a click goes to the topmost window at its point, in any application.
// Before every keystroke script, key event and click, an operation asks the
// guard; when the guard says why not, the operation sends nothing further.
#pragma once

#include "ax/UIElement.h"
#include "platform/CoreTypes.h"
#include "platform/Platform.h"

#include <optional>
#include <string>

namespace mq::logic {

class InputGuard {
public:
    /// Seconds each of the guard's own accessibility reads may take; a Logic that
    /// does not answer in that time is taken for hung.
    static constexpr float kReadTimeoutSeconds = 1.0f;

    explicit InputGuard(platform::Platform& platform);

    /// Nothing when Logic is running, answers and is the frontmost application;
    /// otherwise why not, in words for a log line and a reply.
    [[nodiscard]] std::optional<std::string> whyLogicNotInFront() const;

    /// As whyLogicNotInFront, and `dialog` (a window of Logic) is Logic's front
    /// modal window.
    [[nodiscard]] std::optional<std::string> whyDialogNotInFront(const ax::UIElement& dialog) const;

    /// As whyLogicNotInFront, Logic shows no modal window, and Logic's focused
    /// element is a text field: what a name editor that has just opened looks like.
    [[nodiscard]] std::optional<std::string> whyNoTextFieldFocused() const;

    /// As whyLogicNotInFront, `point` (accessibility coordinates) lies inside
    /// `window`'s frame, Logic shows no modal window that would block the click,
    /// and the topmost element at `point` on the whole desktop is `window` or lies
    /// inside it.
    [[nodiscard]] std::optional<std::string> whyPointNotOnWindow(const ax::UIElement& window, platform::CGPoint point) const;

    /// Why an operation may not start driving Logic: Logic is not in front
    /// ("...; nothing was sent"), or it shows a modal window that the operation did
    /// not open ("Logic shows \"Export\" (AXWindow/AXDialog); nothing was typed").
    /// Nothing when Logic is not running or not reachable: the operation's own
    /// wait for its dialog reports that, as it always has.
    [[nodiscard]] std::optional<std::string> whyNotReadyForOperation() const;

    /// The first modal window Logic shows, described by its title and role
    /// ("\"Export\" (AXWindow/AXDialog)"); nothing when there is none.
    [[nodiscard]] std::optional<std::string> openModalWindow() const;

private:
    platform::Platform& m_platform;
};

/// `window`'s title and role, as openModalWindow words them.
std::string describeWindow(const ax::UIElement& window);

} // namespace mq::logic
