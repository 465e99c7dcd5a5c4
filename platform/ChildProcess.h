// Running a program as a child process: started with three new pipes as its
// standard streams and nothing else of this process's descriptors, fed its input,
// its output discarded, and waited for up to a deadline.
#pragma once

#include "marquee/Expected.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace mq::platform {

/// Starts `program` with `arguments` (after the program itself, as argv[0]),
/// every signal unblocked and SIGPIPE at its default; writes `input` to its
/// standard input and closes it, reading and discarding what it writes meanwhile
/// (a child that fills an unread pipe would otherwise block forever), and waits
/// for its exit. Answers whether it exited with status 0; false too when it
/// stopped reading its input, or when `deadline` passed (it is then killed and
/// reaped). The error, when the child could not be started, says why.
/// Synchronous; callable from any thread; writing to a child that closed its
/// input never raises SIGPIPE in this process.
[[nodiscard]] Expected<bool, std::string> runChildProcess(const std::string& program, std::span<const std::string> arguments,
    std::span<const std::uint8_t> input, std::chrono::steady_clock::time_point deadline);

} // namespace mq::platform
