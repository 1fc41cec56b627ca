#include "crypto/pbkdf2.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr int PASSWORD_LENGTH = CREDENTIAL_FIELD_LENGTH;
constexpr unsigned char INNER_PAD = 0x36;
constexpr unsigned char OUTER_PAD = 0x5c;

void reportOutOfMemory()
{
    std::perror("malloc failed");
}

// Working memory, or null after the failure has been reported.
unsigned char *allocate(size_t size)
{
    auto *memory = static_cast<unsigned char *>(std::malloc(size));
    if (memory == nullptr)
        reportOutOfMemory();
    return memory;
}

EVP_MD_CTX *newContext()
{
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    if (context == nullptr)
        reportOutOfMemory();
    return context;
}

void freeSecret(unsigned char *memory, size_t size)
{
    if (memory != nullptr)
        OPENSSL_cleanse(memory, size);
    std::free(memory);
}

// HMAC (RFC 2104) that absorbs its key only once: the inner and outer digest contexts are
// keyed with key XOR ipad and key XOR opad at construction, and each message is hashed on
// copies of them. This spares the per-call key setup of the one-shot HMAC().
class KeyedHmac
{
public:
    KeyedHmac(const EVP_MD *digest, const unsigned char *key, int keyLength)
        : m_inner(newContext()), m_outer(newContext()), m_work(newContext()),
          m_macLength(EVP_MD_get_size(digest))
    {
        const int blockSize = EVP_MD_get_block_size(digest);
        if (!m_inner || !m_outer || !m_work || m_macLength <= 0 || m_macLength > EVP_MAX_MD_SIZE ||
            blockSize < m_macLength)
            return;
        unsigned char *paddedKey = allocate(size_t(blockSize));
        if (paddedKey == nullptr)
            return;
        std::memset(paddedKey, 0, size_t(blockSize));
        bool keyed = true;
        if (keyLength > blockSize) // a long key is replaced by its digest
            keyed = EVP_Digest(key, size_t(keyLength), paddedKey, nullptr, digest, nullptr) == 1;
        else
            std::memcpy(paddedKey, key, size_t(keyLength));
        keyed = keyed && absorbPaddedKey(m_inner, digest, paddedKey, blockSize, INNER_PAD) &&
                absorbPaddedKey(m_outer, digest, paddedKey, blockSize, OUTER_PAD);
        freeSecret(paddedKey, size_t(blockSize));
        m_ready = keyed;
    }

    ~KeyedHmac()
    {
        EVP_MD_CTX_free(m_work);
        EVP_MD_CTX_free(m_outer);
        EVP_MD_CTX_free(m_inner);
    }

    KeyedHmac(const KeyedHmac &) = delete;
    KeyedHmac &operator=(const KeyedHmac &) = delete;

    bool isReady() const { return m_ready; }
    int macLength() const { return m_macLength; }

    // Writes macLength() bytes to mac, which may be the message itself; false when the digest
    // fails.
    bool compute(const unsigned char *message, size_t length, unsigned char *mac)
    {
        unsigned char innerHash[EVP_MAX_MD_SIZE];
        unsigned int innerLength = 0;
        return EVP_MD_CTX_copy_ex(m_work, m_inner) == 1 &&
               EVP_DigestUpdate(m_work, message, length) == 1 &&
               EVP_DigestFinal_ex(m_work, innerHash, &innerLength) == 1 &&
               EVP_MD_CTX_copy_ex(m_work, m_outer) == 1 &&
               EVP_DigestUpdate(m_work, innerHash, innerLength) == 1 &&
               EVP_DigestFinal_ex(m_work, mac, nullptr) == 1;
    }

private:
    // Starts the context on key XOR pad; the key buffer is the same again afterwards.
    static bool absorbPaddedKey(EVP_MD_CTX *context, const EVP_MD *digest, unsigned char *key,
                                int blockSize, unsigned char pad)
    {
        for (int i = 0; i < blockSize; ++i)
            key[i] ^= pad;
        const bool absorbed = EVP_DigestInit_ex(context, digest, nullptr) == 1 &&
                              EVP_DigestUpdate(context, key, size_t(blockSize)) == 1;
        for (int i = 0; i < blockSize; ++i)
            key[i] ^= pad;
        return absorbed;
    }

    EVP_MD_CTX *m_inner;
    EVP_MD_CTX *m_outer;
    EVP_MD_CTX *m_work;
    int m_macLength;
    bool m_ready = false;
};

void writeBigEndian32(unsigned char *target, uint32_t value)
{
    target[0] = static_cast<unsigned char>(value >> 24);
    target[1] = static_cast<unsigned char>(value >> 16);
    target[2] = static_cast<unsigned char>(value >> 8);
    target[3] = static_cast<unsigned char>(value);
}

// One output block: T = U1 ^ U2 ^ ... ^ Uc, where U1 = HMAC(salt || i) and Uj = HMAC(Uj-1).
bool xorOfIterates(KeyedHmac &hmac, const unsigned char *saltedIndex, size_t saltedLength,
                   int iterations, unsigned char *u, unsigned char *t)
{
    const int macLength = hmac.macLength();
    if (!hmac.compute(saltedIndex, saltedLength, u))
        return false;
    std::memcpy(t, u, size_t(macLength));
    for (int j = 2; j <= iterations; ++j) {
        if (!hmac.compute(u, size_t(macLength), u))
            return false;
        for (int k = 0; k < macLength; ++k)
            t[k] ^= u[k];
    }
    return true;
}

bool deriveInto(KeyedHmac &hmac, const unsigned char *salt, int saltLength, int iterations,
                int outputLength, unsigned char *output)
{
    const size_t macLength = size_t(hmac.macLength());
    const size_t saltedLength = size_t(saltLength) + 4;
    unsigned char *saltedIndex = allocate(saltedLength);
    unsigned char *u = saltedIndex ? allocate(macLength) : nullptr;
    unsigned char *t = u ? allocate(macLength) : nullptr;
    bool derived = t != nullptr;
    if (derived && saltLength > 0)
        std::memcpy(saltedIndex, salt, size_t(saltLength));
    uint32_t blockIndex = 1;
    for (size_t offset = 0; derived && offset < size_t(outputLength); offset += macLength) {
        writeBigEndian32(saltedIndex + saltLength, blockIndex++);
        derived = xorOfIterates(hmac, saltedIndex, saltedLength, iterations, u, t);
        std::memcpy(output + offset, t, std::min(macLength, size_t(outputLength) - offset));
    }
    freeSecret(t, macLength);
    freeSecret(u, macLength);
    std::free(saltedIndex);
    return derived;
}

} // namespace

bool pbkdf2HmacSha256(const unsigned char *password, const unsigned char *salt, int saltLength,
                      int iterations, int outputLength, unsigned char *output, const EVP_MD *digest)
{
    if (output == nullptr || outputLength < 1)
        return false;
    const bool usable = password != nullptr && digest != nullptr && saltLength >= 0 &&
                        (salt != nullptr || saltLength == 0);
    bool derived = false;
    if (usable) {
        KeyedHmac hmac(digest, password, PASSWORD_LENGTH);
        derived =
            hmac.isReady() && deriveInto(hmac, salt, saltLength, iterations, outputLength, output);
    }
    if (!derived)
        std::memset(output, 0, size_t(outputLength));
    return derived;
}

void releaseCryptoThreadState()
{
    OPENSSL_thread_stop();
}
