// The platform's cipher through CommonCrypto: CCCrypt with the AES algorithm and
// PKCS#7 padding (CBC is CCCrypt's mode unless ECB is asked for).
#include "platform/AESCipher.h"

#include <CommonCrypto/CommonCryptor.h>

#include <cstring>

namespace mq::platform::aes {

std::ptrdiff_t decrypt256CBC(std::span<const std::uint8_t, kKeyBytes> key, std::span<const std::uint8_t, kIVBytes> iv,
    std::span<const std::uint8_t> input, std::span<std::uint8_t> output)
{
    const std::size_t size = input.size();
    if (size == 0 || size % kBlockBytes != 0 || output.size() != size)
        return -1;
    size_t moved = 0;
    CCCryptorStatus status = CCCrypt(kCCDecrypt, kCCAlgorithmAES, kCCOptionPKCS7Padding, key.data(), key.size(), iv.data(),
        input.data(), size, output.data(), output.size(), &moved);
    if (status != kCCSuccess)
        return -1;
    return static_cast<std::ptrdiff_t>(moved);
}

std::vector<std::uint8_t> encrypt256CBC(std::span<const std::uint8_t, kKeyBytes> key, std::span<const std::uint8_t, kIVBytes> iv,
    std::span<const std::uint8_t> plaintext)
{
    std::vector<std::uint8_t> out(plaintext.size() + kBlockBytes);
    size_t moved = 0;
    CCCryptorStatus status = CCCrypt(kCCEncrypt, kCCAlgorithmAES, kCCOptionPKCS7Padding, key.data(), key.size(), iv.data(),
        plaintext.data(), plaintext.size(), out.data(), out.size(), &moved);
    if (status != kCCSuccess)
        return {};
    out.resize(moved);
    return out;
}

void secureZero(void* data, std::size_t size)
{
    // Called through a volatile pointer, the clearing cannot be proved dead and dropped.
    static void* (*const volatile clear)(void*, int, std::size_t) = std::memset;
    clear(data, 0, size);
}

} // namespace mq::platform::aes
