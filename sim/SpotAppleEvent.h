// Apple Events as logicsim receives them (script.sendAppleEvent): the system's
// checks of the target and the Automation permission, then Logic's handler of
// the spot-to-timeline event ('aUeV'/'Spt2').
//
// Logic checks the event's class and ID and each parameter's type and size, and
// refuses a malformed event with the Apple Event Manager's status and no change.
// An accepted event is only queued: the event expects no reply, so the sender
// hears noErr. After the import delay (sim/Latency.h) Logic resolves the file
// reference, reads the audio with libsndfile and places a region as long as the
// audio at the playhead as it was when the event arrived, on the selected track
// (a new audio track at the end when none is selected), named 'sPrg' or, without
// it, after the file. A reference that does not resolve or a file that is not
// audio shows Logic's alert (`spot-alert`) and places nothing.
//
// Every event is listed in `appleEvents` of `state`: class, ID, return and
// transaction ID, target, parameters in order (keyword, type, size, and the
// value of 'long' and 'utf8' ones), send mode, time-out and the status answered.
#pragma once

#include <nlohmann/json.hpp>

namespace mq::sim {

struct World;

/// script.sendAppleEvent: {"status": OSStatus}.
nlohmann::json receiveAppleEvent(World& world, const nlohmann::json& request);

} // namespace mq::sim
