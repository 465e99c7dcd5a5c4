// CommonCrypto's one-shot symmetric cipher.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef int32_t CCCryptorStatus;
enum {
    kCCSuccess = 0,
    kCCParamError = -4300,
    kCCBufferTooSmall = -4301,
    kCCMemoryFailure = -4302,
    kCCAlignmentError = -4303,
    kCCDecodeError = -4304,
};

typedef uint32_t CCOperation;
enum {
    kCCEncrypt = 0,
    kCCDecrypt = 1,
};

typedef uint32_t CCAlgorithm;
enum {
    kCCAlgorithmAES128 = 0,
    kCCAlgorithmAES = 0,
};

typedef uint32_t CCOptions;
enum {
    kCCOptionPKCS7Padding = 0x0001,
    kCCOptionECBMode = 0x0002,
};

enum {
    kCCKeySizeAES256 = 32,
};
enum {
    kCCBlockSizeAES128 = 16,
};

#ifdef __cplusplus
extern "C" {
#endif
CCCryptorStatus CCCrypt(CCOperation op, CCAlgorithm alg, CCOptions options, const void* key, size_t keyLength, const void* iv,
    const void* dataIn, size_t dataInLength, void* dataOut, size_t dataOutAvailable, size_t* dataOutMoved);
#ifdef __cplusplus
}
#endif
