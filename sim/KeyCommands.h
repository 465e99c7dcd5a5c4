// Logic's key commands: a key that reaches one of Logic's windows where no text
// field has the focus is a command, not typing. Space plays or stops, Return
// goes to the beginning, Delete deletes the selection; letters switch tools and
// views, and are recorded without an effect here.
#pragma once

#include "sim/Dialogs.h"
#include "sim/Element.h"

#include <string>

namespace mq::sim {

struct World;

/// Whether a key-down reaching `window` (one of Logic's) is a key command: the
/// window is no modal window, dialog sheet or small editor of its own, and no
/// text field in it has the focus.
bool takesKeyCommands(const World& world, const Element& window);

/// How a key command is named in the event log: "Space", "Return", "Delete",
/// "Escape", "Tab", the typed text or "key code N", after the modifiers
/// ("Ctrl-", "Opt-", "Shift-", "Cmd-").
std::string keyCommandName(const KeyPress& key);

/// Logic handles the key command `key` that reached `window`: an event
/// `keyCommand` (key, window, effect) and its effect on the transport or the document.
void runKeyCommand(World& world, const Element& window, const KeyPress& key);

} // namespace mq::sim
