#pragma once

#include <QByteArray>
#include <QString>

// Constants and the credential block shared with the module firmware. Account and password
// never travel in clear: each becomes a 64-byte field of the login and credential-change
// requests.

// Firmware versions up to this one take the AES-only fields; newer ones the derived fields.
constexpr int AES_SCHEME_MAX_VERSION = 124;
constexpr int CREDENTIAL_FIELD_LENGTH = 64;

// The constants are unmasked on every call; none of them is stored as a readable literal.
QByteArray credentialAesKey(); // 16 bytes
QByteArray credentialIv();     // 16 ASCII characters
QByteArray credentialSalt();   // 32 lower-case hexadecimal characters

// The text's UTF-8 bytes cut or zero-filled to 64 bytes, enciphered with AES-128-CBC under the
// credential key and IV: always exactly 64 bytes. Cutting may split a multi-byte character;
// the module cuts the same way. Traces the key and the IV in the maint.crypto category.
QByteArray encryptCredential(const QString &text);

enum class CredentialScheme { AesOnly, Derived };

// AesOnly when the version is a decimal number of at most AES_SCHEME_MAX_VERSION; Derived
// otherwise. An empty version (not read yet) gives Derived, and so does a text that is not a
// number: there is no version to compare, and the login falls back from Derived to AesOnly
// when the module rejects the derived fields.
CredentialScheme credentialSchemeFor(const QString &softwareVersion);

// One 64-byte request field: encryptCredential, then for Derived its PBKDF2 value.
QByteArray credentialField(const QString &text, CredentialScheme scheme);

// The 128 data bytes of a login or credential-change request: the account field, then the
// password field.
QByteArray credentialRequestData(const QString &account, const QString &password,
                                 CredentialScheme scheme);
