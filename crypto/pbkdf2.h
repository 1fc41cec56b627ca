#pragma once

#include "crypto/credentialfield.h"

#include <openssl/evp.h>

// Parameters of the credential derivation shared with the module firmware.
constexpr int CREDENTIAL_BLOCK_LENGTH = CREDENTIAL_FIELD_LENGTH;
constexpr int CREDENTIAL_KDF_ITERATIONS = 10000;
constexpr int CREDENTIAL_KEY_LENGTH = CREDENTIAL_FIELD_LENGTH;

// PBKDF2 (RFC 8018) with HMAC over `digest`, keyed with exactly 64 password bytes (zero bytes
// included), over the salt the caller passes. Writes outputLength bytes to output and returns
// true. The keyed HMAC state is set up once and reused for every iteration. An iteration count
// below 1 counts as 1. With a null output or an output length below 1 nothing is written and
// the answer is false; with a null password, a null digest, a negative salt length or a null
// salt of non-zero length the output is zero-filled and the answer is false. When working
// memory cannot be had, "malloc failed" goes out as a system error message, the output is
// zero-filled and the answer is false: the process goes on, so a failing derivation of one
// session never ends the others.
bool pbkdf2HmacSha256(const unsigned char *password, const unsigned char *salt, int saltLength,
                      int iterations, int outputLength, unsigned char *output,
                      const EVP_MD *digest);

// Frees the OpenSSL state that the calling thread's derivations left behind
// (its error queue). A worker thread calls it when its work is done, so that
// nothing of it outlives the thread; the next derivation makes it anew.
void releaseCryptoThreadState();
