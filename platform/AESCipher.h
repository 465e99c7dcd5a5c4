// AES-256 in CBC mode with PKCS#7 padding, one shot, and wiping secrets: the
// platform's cipher (OpenSSL on Linux, CommonCrypto's CCCrypt on macOS).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mq::platform::aes {

inline constexpr std::size_t kKeyBytes = 32;
inline constexpr std::size_t kIVBytes = 16;
inline constexpr std::size_t kBlockBytes = 16;

/// Deciphers `input` into `output`, which must be exactly as long as `input` (a
/// whole number of blocks). Returns the plaintext length, or -1 when the input is
/// not whole blocks, the padding is wrong or the cipher fails. Whatever was
/// written to `output` stays there for the caller to wipe.
[[nodiscard]] std::ptrdiff_t decrypt256CBC(std::span<const std::uint8_t, kKeyBytes> key, std::span<const std::uint8_t, kIVBytes> iv,
    std::span<const std::uint8_t> input, std::span<std::uint8_t> output);

/// Enciphers `plaintext`; empty on failure.
std::vector<std::uint8_t> encrypt256CBC(std::span<const std::uint8_t, kKeyBytes> key, std::span<const std::uint8_t, kIVBytes> iv,
    std::span<const std::uint8_t> plaintext);

/// Overwrites `size` bytes at `data` with zeros, in a way the compiler cannot drop.
void secureZero(void* data, std::size_t size);

} // namespace mq::platform::aes
