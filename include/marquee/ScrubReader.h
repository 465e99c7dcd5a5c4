// Reading a scrub file from a plug-in: the transport position that the helper
// publishes into a 64-byte shared-memory block (include/marquee/SharedMemoryLayout.h).
//
// The reading protocol. The helper writes one new position with three release
// stores in this order: the display mode word, the position, the sequence number;
// then it stores the valid flag. A reader therefore takes a snapshot as:
//   1. load the sequence number (acquire);
//   2. load the display mode word, the position and the valid flag (acquire);
//   3. load the sequence number again;
//   4. when the two sequence numbers differ a write finished meanwhile: go to 1.
// A snapshot whose sequence numbers agree holds the position and mode of that
// write, or, at worst, of the one write whose stores were still arriving (the
// helper writes at most 60 a second, so retries are rare and few). The valid flag
// tells whether the helper reads the display at the moment: a position read with
// `valid` false is the last good one, or stale. A new sequence number means a new
// position; the sequence wraps from 4294967295 to 0, so compare for inequality.
#pragma once

#include "marquee/SharedMemoryBlock.h"

#include <cstdint>
#include <optional>
#include <string>

namespace mq::client {

/// One consistent reading of a scrub block.
struct ScrubSnapshot {
    /// Seconds at the frame rate the observation was started with.
    double position { 0 };
    /// Whether the helper reads Logic's display at the moment.
    bool valid { false };
    /// shm::displaymodeword: 1 frames, 2 subframes, 3 quarter frames, 4 samples; 0 unknown.
    std::int32_t displayModeWord { 0 };
    std::uint32_t sequence { 0 };

    friend bool operator==(const ScrubSnapshot&, const ScrubSnapshot&) = default;
};

class ScrubReader {
public:
    /// Maps the file at `path`, creating it (mode 0600, 64 bytes) when missing, so
    /// that it can be made before the helper is asked to observe. Only regular
    /// files are accepted (see shm::MappedBlock::open).
    [[nodiscard]] static Expected<ScrubReader, shm::MapFailure> open(const std::string& path);

    /// A consistent snapshot, by the protocol above; nothing when the sequence
    /// number changed on each of `maxAttempts` tries (a writer far faster than the
    /// helper's 60 a second).
    [[nodiscard]] std::optional<ScrubSnapshot> snapshot(int maxAttempts = 100) const;

    /// Asks the helper to read every second tick and never fall to its idle rate
    /// (true), or lets it idle again (false). The helper honours the word of the
    /// first of its targets, ordered by path.
    void requestSteadyRate(bool steady);

private:
    explicit ScrubReader(shm::ScrubBlock block)
        : m_block(std::move(block))
    {
    }
    shm::ScrubBlock m_block;
};

} // namespace mq::client
