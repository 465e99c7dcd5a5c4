// Which program the stored actions are handed to, and whether it can be run.
//
// The helper finds its interpreter by a configured path (the environment
// variable below), else by the path the build fixed ("/usr/bin/osascript" on
// macOS), else relative to the helper's own directory, where the package
// installs it ("../libexec/marquee-helper/marquee-osascript" from bin/). So an
// installed helper never depends on the tree it was built in.
#pragma once

#include <string>

namespace mq::logic {

/// Names the interpreter's path, overriding the build's choice when set and not empty.
inline constexpr const char* kStoredActionInterpreterVariable = "MARQUEE_STORED_ACTION_INTERPRETER";

/// The interpreter's path as the helper resolves it now.
std::string storedActionInterpreter();

/// Why `path` cannot be started as the interpreter ("not found", "not executable"),
/// or an empty text when it can.
std::string interpreterUnusable(const std::string& path);

} // namespace mq::logic
