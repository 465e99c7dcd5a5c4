#include "platform/AESCipher.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <climits>
#include <memory>

namespace mq::platform::aes {

namespace {

struct CipherContextDeleter {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter>;

} // namespace

std::ptrdiff_t decrypt256CBC(std::span<const std::uint8_t, kKeyBytes> key, std::span<const std::uint8_t, kIVBytes> iv,
    std::span<const std::uint8_t> input, std::span<std::uint8_t> output)
{
    // PKCS#7 always leaves at least one whole block. With the whole ciphertext
    // given at once the cipher holds the last block back until the final step,
    // so it never writes more than the ciphertext's length into `output`.
    const std::size_t size = input.size();
    if (size == 0 || size % kBlockBytes != 0 || size > INT_MAX || output.size() != size)
        return -1;
    CipherContext context(EVP_CIPHER_CTX_new());
    if (!context)
        return -1;
    if (EVP_DecryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv.data()) != 1)
        return -1;
    int written = 0;
    if (EVP_DecryptUpdate(context.get(), output.data(), &written, input.data(), static_cast<int>(size)) != 1)
        return -1;
    int finalWritten = 0;
    if (EVP_DecryptFinal_ex(context.get(), output.data() + written, &finalWritten) != 1)
        return -1;
    return static_cast<std::ptrdiff_t>(written) + finalWritten;
}

std::vector<std::uint8_t> encrypt256CBC(std::span<const std::uint8_t, kKeyBytes> key, std::span<const std::uint8_t, kIVBytes> iv,
    std::span<const std::uint8_t> plaintext)
{
    if (plaintext.size() > INT_MAX - kBlockBytes)
        return {};
    CipherContext context(EVP_CIPHER_CTX_new());
    if (!context || EVP_EncryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv.data()) != 1)
        return {};
    std::vector<std::uint8_t> out(plaintext.size() + kBlockBytes);
    int written = 0;
    if (EVP_EncryptUpdate(context.get(), out.data(), &written, plaintext.data(), static_cast<int>(plaintext.size())) != 1)
        return {};
    int finalWritten = 0;
    if (EVP_EncryptFinal_ex(context.get(), out.data() + written, &finalWritten) != 1)
        return {};
    out.resize(static_cast<std::size_t>(written + finalWritten));
    return out;
}

void secureZero(void* data, std::size_t size)
{
    OPENSSL_cleanse(data, size);
}

} // namespace mq::platform::aes
