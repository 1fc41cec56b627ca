#pragma once

#include "crypto/credentialfield.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Constants and the credential block shared with the module firmware. Account and password
// never travel in clear: each becomes a 64-byte field of the login and credential-change
// requests.

// Firmware versions up to this one take the AES-only fields; newer ones the derived fields.
constexpr int AES_SCHEME_MAX_VERSION = 124;

// The constants are unmasked on every call; none of them is stored as a readable literal.
QByteArray credentialAesKey(); // 16 bytes
QByteArray credentialIv();     // 16 ASCII characters
QByteArray credentialSalt();   // 32 lower-case hexadecimal characters

// The text's UTF-8 bytes cut or zero-filled to 64 bytes, enciphered with AES-128-CBC under the
// credential key and IV: always exactly 64 bytes. Cutting may split a multi-byte character;
// the module cuts the same way. Traces the key and the IV in the maint.crypto category.
QByteArray encryptCredential(const QString &text);

// The credential value of one 64-byte block: PBKDF2-HMAC-SHA256 with the firmware's salt,
// 10000 iterations and 64 bytes out. Traces "Derived Key: " and the value in lower-case hex
// in the maint.crypto category (off unless named in QT_LOGGING_RULES). False (the output
// zero-filled) when the derivation could not be made, for want of memory.
bool deriveCredentialKey(const unsigned char *block, unsigned char *output);

// The same for a byte array; a block that is not 64 bytes long, or a derivation that could
// not be made, gives an empty result.
QByteArray deriveCredentialKey(const QByteArray &block64);

// The one rule of the firmware generations: a version above AES_SCHEME_MAX_VERSION takes the
// derived credential fields and the SHA-256 firmware digest, older ones the AES-only fields and
// SHA-1.
constexpr bool isNewerFirmware(int version)
{
    return version > AES_SCHEME_MAX_VERSION;
}

// The software version text as a number: decimal, white space around it ignored; nothing when
// it is empty (not read yet) or not a number.
std::optional<int> softwareVersionNumber(const QString &softwareVersion);

enum class CredentialScheme { AesOnly, Derived };

// AesOnly when the version is a decimal number of at most AES_SCHEME_MAX_VERSION; Derived
// otherwise. An empty version (not read yet) gives Derived, and so does a text that is not a
// number: there is no version to compare, and the login falls back from Derived to AesOnly
// when the module rejects the derived fields.
CredentialScheme credentialSchemeFor(const QString &softwareVersion);

// One 64-byte request field: encryptCredential, then for Derived its PBKDF2 value; empty when
// the derivation could not be made.
QByteArray credentialField(const QString &text, CredentialScheme scheme);

// The 128 data bytes of a login or credential-change request: the account field, then the
// password field; empty when a field could not be made.
QByteArray credentialRequestData(const QString &account, const QString &password,
                                 CredentialScheme scheme);
