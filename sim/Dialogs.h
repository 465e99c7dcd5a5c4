// Dialogs and other windows Logic opens: their behaviours (what a committed
// field or closing does), opening a window after the application's delay, and
// closing a dialog with its result recorded.
#pragma once

#include "sim/Element.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace mq::sim {

struct World;
struct Application;

/// A key-down as a window receives it.
struct KeyPress {
    std::uint16_t virtualKey { 0 };
    std::string text;
    std::uint64_t flags { 0 };
};

/// What a dialog does with committed fields and with being confirmed or
/// cancelled. The generic behaviour types into text fields and closes on Return
/// and Escape; Logic's own dialogs register theirs.
class DialogBehavior {
public:
    virtual ~DialogBehavior() = default;
    /// Logic took the value of `field` (Tab moved the focus away from it, and the
    /// commit delay has passed).
    virtual void fieldCommitted(World&, Element& dialog, Element& field) { (void)dialog, (void)field; }
    /// Called before the dialog closes; `confirmed` false for cancel/Escape.
    virtual void closing(World&, Element& dialog, bool confirmed) { (void)dialog, (void)confirmed; }
    /// A key-down reached the dialog. True when the dialog handled it; the
    /// generic keys (Tab, Return, Escape, typing) then do nothing more.
    virtual bool keyDown(World&, Element& dialog, const KeyPress& key) { return (void)dialog, (void)key, false; }
    /// `element` inside the dialog was pressed (AXPress, or a click). True when
    /// the dialog handled it; the dialog may be gone afterwards.
    virtual bool pressed(World&, Element& dialog, Element& element) { return (void)dialog, (void)element, false; }
};

struct Dialogs {
    /// Behaviours by name (a window's `behavior`); they outlive scenario loads.
    std::map<std::string, std::shared_ptr<DialogBehavior>> behaviors;
    /// Keys of windows an action asked for that have not appeared yet.
    std::set<std::string> opening;
    /// Keys of dialogs shown as sheets on the main window instead of windows of
    /// their own (the scenario's "sheets", `ctl sheets`).
    std::set<std::string> asSheets;

    DialogBehavior* behaviorOf(const Element& window) const;
};

/// Runs when a window opened after its delay: fills in what the window shows.
using WindowOpened = std::function<void(World&, Token window)>;

/// Shows `definition` in `app` at once, in front: as a sheet on the main window
/// when its key is one of the dialogs shown as sheets, else as a window.
Token showDialog(World& world, Application& app, const nlohmann::json& definition);

/// Opens `definition` in `app`, in front, once the window-open delay (or `delay`)
/// has passed, unless a window with its key is open or opening. False when it is.
bool openWindowAfterDelay(World& world, Application& app, const nlohmann::json& definition, WindowOpened opened = {},
    std::optional<std::chrono::milliseconds> delay = std::nullopt);

/// Forgets a window with `key` that is still opening, so it never shows. False
/// when none is opening.
bool cancelOpening(World& world, const std::string& key);

/// Tab moved the focus away from `field`: the dialog's behaviour takes the
/// value once the commit delay has passed (nothing if the dialog closed by then).
void commitFieldAfterDelay(World& world, Element& dialog, Element& field);

/// Closes `dialog`: its behaviour is told, the result (title, key, confirmed or
/// cancelled, its fields' values) recorded, and the window removed.
void closeDialog(World& world, Element& dialog, bool confirmed);

} // namespace mq::sim
