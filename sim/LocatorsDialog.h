// Logic's "Set Left and Right Locator" dialog, as logicsim shows it.
//
// A modal window whose children are, in order:
//   0  group "Left Locator": the left locator's SMPTE time (the playhead's when unset)
//   1  group "Right Locator": the right locator's
//   2  text field for the left locator's bar position (focused when it opens)
//   3  text field for the left locator's SMPTE position
//   4  text field for the right locator's bar position
//   5  text field for the right locator's SMPTE position
//   6  button "Cancel", 7  button "OK" (the default button)
// The groups show time in the project's display layout, as Go to Position does.
// Confirming sets the locators from the two SMPTE fields (a field whose text is
// not a position in the layout leaves its locator as it was); cancelling
// changes nothing.
#pragma once

namespace mq::sim {

struct World;
struct Dialogs;

/// Registers the dialog's behaviour (once, at start-up).
void registerLocatorsDialog(Dialogs& dialogs);

/// Logic's command "Set Left and Right Locator…": the dialog opens after the
/// window-open delay. False when Logic is not running.
bool requestLocatorsDialog(World& world);

} // namespace mq::sim
