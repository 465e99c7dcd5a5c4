// The two 64-byte shared-memory layouts that the helper and its clients share:
// the scrub block (transport position) and the project-watch block (closed flag).
//
// Both are host byte order (little-endian on the supported processors) with every
// field naturally aligned. The helper writes only the fields marked "helper"
// below and reads only the scrub block's steady-rate request word; every other
// byte belongs to the client.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mq::shm {

/// The size of both blocks; files are cut or extended to exactly this length.
inline constexpr std::size_t kBlockSize = 64;

namespace scrub {
/// Client: nonzero asks the helper to read every second tick and never idle (u32).
inline constexpr std::size_t kSteadyRateRequestOffset = 16;
/// Helper: the transport position in seconds at the target's frame rate (double).
inline constexpr std::size_t kPositionOffset = 24;
/// Helper: 1 while the display reads and converts, else 0 (u32).
inline constexpr std::size_t kValidOffset = 32;
/// Helper: incremented (wrapping) each time a new position is written (u32).
inline constexpr std::size_t kSequenceOffset = 36;
/// Helper: the display mode + 1 at the time of the write; 0 unknown or invalid (i32).
inline constexpr std::size_t kDisplayModeWordOffset = 56;
} // namespace scrub

/// Display mode words as the scrub block carries them.
namespace displaymodeword {
inline constexpr std::int32_t unknown = 0;
inline constexpr std::int32_t frames = 1;
inline constexpr std::int32_t subframes = 2;
inline constexpr std::int32_t quarterFrames = 3;
inline constexpr std::int32_t samples = 4;
} // namespace displaymodeword

namespace watch {
/// Helper: set to 1 once when the watched project is judged closed; the helper
/// never writes 0, so a client that reuses a file clears it itself (u32).
inline constexpr std::size_t kClosedFlagOffset = 40;
} // namespace watch

} // namespace mq::shm
