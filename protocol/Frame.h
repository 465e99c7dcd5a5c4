// Frames of the request channel: a 4-byte big-endian length, then one MessagePack array.
//
//   request: [1, id, selector, arguments...]
//   reply:   [2, id, values...]
//
// Value encodings: nil for an absent optional; MessagePack bool, int and float64
// (NaN and infinities kept); str (valid UTF-8) for strings; bin for data; ext type 1
// holding the absolute URL text for URLs; the array [domain, code, description] for
// an error object.
#pragma once

#include "marquee/Expected.h"
#include "marquee/WireValue.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace mq::ipc {

/// Largest request frame body the helper accepts (arguments are paths, names, numbers).
inline constexpr std::size_t kMaxRequestFrameBytes = 64 * 1024;
/// Largest reply frame body (a crash report travels in one).
inline constexpr std::size_t kMaxReplyFrameBytes = 16 * 1024 * 1024;
/// Longest selector accepted.
inline constexpr std::size_t kMaxSelectorBytes = 256;
inline constexpr std::size_t kFrameHeaderBytes = 4;

enum class FrameKind : std::uint8_t { request = 1, reply = 2 };

struct Frame {
    FrameKind kind { FrameKind::request };
    std::uint64_t id { 0 };
    std::string selector; // Requests only.
    std::vector<WireValue> values;
};

/// Why a frame could not be decoded; the text goes into the log line.
struct DecodeError {
    std::string reason;
};

/// Header and body of one frame, ready to write.
std::vector<std::uint8_t> encodeFrame(const Frame& frame);

/// Decodes one frame body (without its 4-byte header).
[[nodiscard]] Expected<Frame, DecodeError> decodeFrameBody(const std::uint8_t* data, std::size_t size);

/// The body length announced by a 4-byte header.
std::uint32_t frameBodyLength(const std::uint8_t header[kFrameHeaderBytes]);

} // namespace mq::ipc
