#include "crypto/credential.h"

#include "base/bytes.h"
#include "base/logging.h"
#include "crypto/aescipher.h"
#include "crypto/pbkdf2.h"

#include <QDebug>

namespace
{

constexpr int KEY_LENGTH = 16;
constexpr int IV_LENGTH = 16;
constexpr int SALT_LENGTH = 32;

// Each constant is kept XORed with a byte stream (x -> 5x + 0x3b mod 256 from a seed of its
// own), so that the binary holds no readable copy of it.
constexpr unsigned char KEY_SEED = 0xa7;
constexpr unsigned char MASKED_KEY[KEY_LENGTH] = {0xbb, 0xa9, 0xe0, 0x0c, 0xd6, 0x38, 0x13, 0x67,
                                                  0x2d, 0x37, 0xaa, 0xe9, 0x40, 0x4c, 0x48, 0x76};
constexpr unsigned char IV_SEED = 0x4e;
constexpr unsigned char MASKED_IV[IV_LENGTH] = {0x3f, 0x82, 0x34, 0x43, 0x0b, 0x0f, 0xc5, 0xd2,
                                                0x78, 0x19, 0xc1, 0xbc, 0x8d, 0x7c, 0x4d, 0xe1};
constexpr unsigned char SALT_SEED = 0xd3;
constexpr unsigned char MASKED_SALT[SALT_LENGTH] = {
    0xb1, 0x68, 0xcf, 0x1f, 0x73, 0x9d, 0x91, 0x57, 0x2f, 0xf0, 0x67, 0x32, 0xbd, 0xf3, 0x1e, 0x3a,
    0x50, 0x13, 0x6b, 0x4f, 0x93, 0x1b, 0xd5, 0x80, 0x98, 0xf7, 0x27, 0xc5, 0x5c, 0x00, 0x0b, 0x6a};

QByteArray unmask(const unsigned char *masked, int length, unsigned char seed)
{
    QByteArray plain(length, Qt::Uninitialized);
    // volatile keeps the compiler from folding the plain constant back into the binary
    volatile unsigned char mask = seed;
    for (int i = 0; i < length; ++i) {
        plain[i] = char(masked[i] ^ mask);
        mask = static_cast<unsigned char>(mask * 5 + 0x3b);
    }
    return plain;
}

QByteArray zeroFilledBlock(const QString &text)
{
    return Bytes::zeroFilled(text.toUtf8(), CREDENTIAL_FIELD_LENGTH);
}

} // namespace

QByteArray credentialAesKey()
{
    return unmask(MASKED_KEY, KEY_LENGTH, KEY_SEED);
}

QByteArray credentialIv()
{
    return unmask(MASKED_IV, IV_LENGTH, IV_SEED);
}

QByteArray credentialSalt()
{
    return unmask(MASKED_SALT, SALT_LENGTH, SALT_SEED);
}

QByteArray encryptCredential(const QString &text)
{
    const QByteArray key = credentialAesKey();
    const QByteArray iv = credentialIv();
    qCDebug(lcCrypto).noquote() << QStringLiteral("加密密码：") << key.toHex() << key.size();
    qCDebug(lcCrypto).noquote() << QStringLiteral("初始向量：") << iv.toHex() << iv.size();
    const AesCipher cipher(AesCipher::AES_128, AesCipher::CBC, AesCipher::ZERO);
    return cipher.encrypt(zeroFilledBlock(text), key, iv);
}

std::optional<int> softwareVersionNumber(const QString &softwareVersion)
{
    bool isNumber = false;
    const int version = softwareVersion.trimmed().toInt(&isNumber, 10);
    if (!isNumber)
        return std::nullopt;
    return version;
}

CredentialScheme credentialSchemeFor(const QString &softwareVersion)
{
    const std::optional<int> version = softwareVersionNumber(softwareVersion);
    return version && !isNewerFirmware(*version) ? CredentialScheme::AesOnly
                                                 : CredentialScheme::Derived;
}

bool deriveCredentialKey(const unsigned char *block, unsigned char *output)
{
    if (block == nullptr || output == nullptr)
        return false;
    const QByteArray salt = credentialSalt();
    const bool derived = pbkdf2HmacSha256(
        block, reinterpret_cast<const unsigned char *>(salt.constData()), salt.size(),
        CREDENTIAL_KDF_ITERATIONS, CREDENTIAL_KEY_LENGTH, output, EVP_sha256());
    const QByteArray key(reinterpret_cast<const char *>(output), CREDENTIAL_KEY_LENGTH);
    qCDebug(lcCrypto).noquote() << "Derived Key:" << key.toHex();
    return derived;
}

QByteArray deriveCredentialKey(const QByteArray &block64)
{
    if (block64.size() != CREDENTIAL_BLOCK_LENGTH)
        return {};
    QByteArray key(CREDENTIAL_KEY_LENGTH, Qt::Uninitialized);
    if (!deriveCredentialKey(reinterpret_cast<const unsigned char *>(block64.constData()),
                             reinterpret_cast<unsigned char *>(key.data())))
        return {};
    return key;
}

QByteArray credentialField(const QString &text, CredentialScheme scheme)
{
    const QByteArray block = encryptCredential(text);
    if (scheme == CredentialScheme::Derived)
        return deriveCredentialKey(block);
    return block;
}

QByteArray credentialRequestData(const QString &account, const QString &password,
                                 CredentialScheme scheme)
{
    const QByteArray accountField = credentialField(account, scheme);
    const QByteArray passwordField = credentialField(password, scheme);
    if (accountField.size() != CREDENTIAL_FIELD_LENGTH ||
        passwordField.size() != CREDENTIAL_FIELD_LENGTH)
        return {};
    return accountField + passwordField;
}
