// Where the running program lies, so that it can find the files installed beside it.
#pragma once

#include <string>

namespace mq::platform {

/// The directory of the running executable, symbolic links resolved; empty when
/// the system cannot tell.
std::string executableDirectory();

} // namespace mq::platform
