#pragma once

// The width of one credential field shared with the module firmware: the
// account or the password enciphered into 64 bytes, which is also the key
// length and the output length of the derivation.
constexpr int CREDENTIAL_FIELD_LENGTH = 64;
