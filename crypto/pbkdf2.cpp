#include "crypto/pbkdf2.h"

#include "base/logging.h"
#include "crypto/credential.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr int PASSWORD_LENGTH = 64;
constexpr unsigned char INNER_PAD = 0x36;
constexpr unsigned char OUTER_PAD = 0x5c;

[[noreturn]] void exitOutOfMemory()
{
    std::perror("malloc failed");
    std::exit(1);
}

unsigned char *allocateOrExit(size_t size)
{
    auto *memory = static_cast<unsigned char *>(std::malloc(size));
    if (memory == nullptr)
        exitOutOfMemory();
    return memory;
}

EVP_MD_CTX *newContextOrExit()
{
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    if (context == nullptr)
        exitOutOfMemory();
    return context;
}

void freeSecret(unsigned char *memory, size_t size)
{
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
        : m_inner(newContextOrExit()), m_outer(newContextOrExit()), m_work(newContextOrExit()),
          m_macLength(EVP_MD_get_size(digest))
    {
        const int blockSize = EVP_MD_get_block_size(digest);
        if (m_macLength <= 0 || m_macLength > EVP_MAX_MD_SIZE || blockSize < m_macLength)
            return;
        unsigned char *paddedKey = allocateOrExit(size_t(blockSize));
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
    unsigned char *saltedIndex = allocateOrExit(saltedLength);
    unsigned char *u = allocateOrExit(macLength);
    unsigned char *t = allocateOrExit(macLength);
    if (saltLength > 0)
        std::memcpy(saltedIndex, salt, size_t(saltLength));
    bool derived = true;
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

void pbkdf2HmacSha256(const unsigned char *password, const unsigned char *salt, int saltLength,
                      int iterations, int outputLength, unsigned char *output, const EVP_MD *digest)
{
    if (output == nullptr || outputLength < 1)
        return;
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
}

void deriveCredentialKey(const unsigned char *block, unsigned char *output)
{
    if (block == nullptr || output == nullptr)
        return;
    const QByteArray salt = credentialSalt();
    pbkdf2HmacSha256(block, reinterpret_cast<const unsigned char *>(salt.constData()), salt.size(),
                     CREDENTIAL_KDF_ITERATIONS, CREDENTIAL_KEY_LENGTH, output, EVP_sha256());
    const QByteArray key(reinterpret_cast<const char *>(output), CREDENTIAL_KEY_LENGTH);
    qCDebug(lcCrypto).noquote() << "Derived Key:" << key.toHex();
}

QByteArray deriveCredentialKey(const QByteArray &block64)
{
    if (block64.size() != CREDENTIAL_BLOCK_LENGTH)
        return {};
    QByteArray key(CREDENTIAL_KEY_LENGTH, Qt::Uninitialized);
    deriveCredentialKey(reinterpret_cast<const unsigned char *>(block64.constData()),
                        reinterpret_cast<unsigned char *>(key.data()));
    return key;
}
