#pragma once

#include <QByteArray>
#include <openssl/evp.h>

// Parameters of the credential derivation shared with the module firmware.
constexpr int CREDENTIAL_BLOCK_LENGTH = 64;
constexpr int CREDENTIAL_KDF_ITERATIONS = 10000;
constexpr int CREDENTIAL_KEY_LENGTH = 64;

// PBKDF2 (RFC 8018) with HMAC over `digest`, keyed with exactly 64 password bytes (zero bytes
// included). Writes outputLength bytes to output. The keyed HMAC state is set up once and
// reused for every iteration. An iteration count below 1 counts as 1. With a null output or
// an output length below 1 nothing is written; with a null password, a null digest, a negative
// salt length or a null salt of non-zero length the output is zero-filled. When working
// memory cannot be had, prints "malloc failed" as a system error message and exits with
// status 1.
void pbkdf2HmacSha256(const unsigned char *password, const unsigned char *salt, int saltLength,
                      int iterations, int outputLength, unsigned char *output,
                      const EVP_MD *digest);

// The credential value of one 64-byte block: PBKDF2-HMAC-SHA256 with the firmware's salt,
// 10000 iterations and 64 bytes out. Traces "Derived Key: " and the value in lower-case hex
// in the maint.crypto category (off unless named in QT_LOGGING_RULES).
void deriveCredentialKey(const unsigned char *block, unsigned char *output);

// The same for a byte array; a block that is not 64 bytes long gives an empty result.
QByteArray deriveCredentialKey(const QByteArray &block64);
