// The cipher that protects the stored actions at rest: AES-256 in CBC mode with
// PKCS#7 padding, under a key that exists only as four 32-byte pieces combined
// by exclusive-or. Shared by the action runner (deciphering) and the build-time
// generator (enciphering), so that both always agree.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mq::logic::stored {

inline constexpr std::size_t kKeyBytes = 32;
inline constexpr std::size_t kIVBytes = 16;
inline constexpr std::size_t kBlockBytes = 16;
inline constexpr std::size_t kKeyPieceCount = 4;

using Key = std::array<std::uint8_t, kKeyBytes>;
using KeyPiece = std::array<std::uint8_t, kKeyBytes>;
using IV = std::array<std::uint8_t, kIVBytes>;

/// One enciphered text as it is stored: its ciphertext and its own IV.
struct StoredText {
    std::span<const std::uint8_t> ciphertext;
    std::span<const std::uint8_t, kIVBytes> iv;
};

/// Everything a run needs: the key pieces and the two stored texts.
struct StoredActionData {
    std::span<const KeyPiece, kKeyPieceCount> keyPieces;
    StoredText scriptTemplate;
    StoredText allowList;
};

/// Writes the exclusive-or of the four pieces into `key`.
void combineKeyPieces(std::span<const KeyPiece, kKeyPieceCount> pieces, Key& key);

/// Deciphers `text` with `key` into `output`, which must be exactly as long as
/// the ciphertext. Returns the plaintext length, or -1 when the ciphertext is not
/// a whole number of blocks, the padding is wrong or the cipher fails. Whatever
/// was written to `output` stays there: the caller wipes it on every path.
[[nodiscard]] std::ptrdiff_t decipher(const StoredText& text, const Key& key, std::span<std::uint8_t> output);

/// Enciphers `plaintext` (the generator and tests). Empty on failure.
std::vector<std::uint8_t> encipher(std::span<const std::uint8_t> plaintext, const Key& key, const IV& iv);

} // namespace mq::logic::stored
