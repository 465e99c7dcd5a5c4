// The desktop's window stack, as the window server orders it: what a click at
// a point reaches across every application. From the front: the menu bar and
// the Dock of the main screen; the frontmost application's modal windows; the
// floating panels (the frontmost application's, and other applications' that
// do not hide when inactive); every other shown window, the applications in the
// order they were last active; the desktop, which is Finder's.
#pragma once

#include "platform/CoreTypes.h"
#include "sim/Element.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace mq::sim {

struct World;

/// The topmost thing at a point of the desktop.
struct DesktopHit {
    enum class Kind { nothing, menuBar, dock, window, desktop };
    Kind kind { Kind::nothing };
    /// Whose it is: the window's application; the frontmost application's for
    /// the menu bar; "dock" for the Dock; Finder's for the desktop. Empty: nobody's.
    std::string app;
    Token window { 0 };
    /// The deepest element under the point inside the window.
    Token element { 0 };
    /// The window's application shows an app-modal window other than this one,
    /// or the window shows a sheet and the point is outside it: a click is refused.
    bool blocked { false };

    /// Adds `app` and `window` (the window's name; "menu bar", "Dock",
    /// "desktop"; or null) to a recorded input event.
    void describeInto(const World& world, nlohmann::json& entry) const;
};

/// Every shown window of the running applications, front to back (the strips
/// and the desktop aside).
std::vector<Token> windowStack(World& world);

/// What lies topmost at `point` (global coordinates, top left of the primary screen).
DesktopHit hitDesktop(World& world, platform::CGPoint point);

} // namespace mq::sim
