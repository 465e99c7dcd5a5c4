#include "logic/StoredCipher.h"

#include "platform/AESCipher.h"

namespace mq::logic::stored {

void combineKeyPieces(std::span<const KeyPiece, kKeyPieceCount> pieces, Key& key)
{
    for (std::size_t i = 0; i < kKeyBytes; ++i)
        key[i] = static_cast<std::uint8_t>(pieces[0][i] ^ pieces[1][i] ^ pieces[2][i] ^ pieces[3][i]);
}

std::ptrdiff_t decipher(const StoredText& text, const Key& key, std::span<std::uint8_t> output)
{
    return platform::aes::decrypt256CBC(key, text.iv, text.ciphertext, output);
}

std::vector<std::uint8_t> encipher(std::span<const std::uint8_t> plaintext, const Key& key, const IV& iv)
{
    return platform::aes::encrypt256CBC(key, iv, plaintext);
}

} // namespace mq::logic::stored
