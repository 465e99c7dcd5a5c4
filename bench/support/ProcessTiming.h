// What the end-to-end timing tools share: starting logicsim and the helper on a
// private runtime directory, sending logicsim a control command, and printing a
// duration's median and p90 against its floor.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace mq::bench {

/// Starts `path` with `argv` (argv[0] first), XDG_RUNTIME_DIR set to `runtime`
/// and its output discarded. The child's pid.
pid_t startProcess(const char* path, std::vector<const char*> argv, const std::string& runtime);
/// Waits up to 5 s for `path` to exist.
bool waitForFile(const std::string& path);
/// Runs `logicsim ctl COMMAND ARGS` (the logicsim at `logicsimPath`) and waits
/// for it; true when it succeeded.
bool logicsimControl(const char* logicsimPath, const std::string& runtime, const char* command, const std::string& args);
/// Prints "name  floor F ms  median M ms (+M-F)  p90 P ms (+P-F)".
void reportAgainstFloor(const char* name, double floorMs, std::vector<double> ms);

} // namespace mq::bench
