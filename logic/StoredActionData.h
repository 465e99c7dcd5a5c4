// The stored actions this build carries: the script template and the allow-list,
// enciphered at build time (logic/stored/), with their IVs and the key pieces.
// Defined in a source that the build generates; the key is never stored whole.
#pragma once

#include "logic/StoredCipher.h"

namespace mq::logic::stored {

/// The build's own stored actions.
const StoredActionData& builtInStoredActions();

} // namespace mq::logic::stored
