#pragma once

// The data fields of the settings writes, built from what the technician
// entered. Nothing is ever cut or guessed: text that does not fit its field
// and MAC texts that are not six bytes are refused, so the module never
// receives a setting other than the one that was typed.

#include <QByteArray>
#include <QString>

// `text` in the workstation's local 8-bit encoding, as the module receives it.
QByteArray encodeLocalText(const QString &text);

// True when `text` in the local 8-bit encoding takes at most `width` bytes.
// A text of exactly `width` bytes fits; it is then written with no
// terminating zero byte.
bool fitsTextField(const QString &text, int width);

// Wi-Fi names a network with at most 32 bytes (IEEE 802.11); the module's
// 64-byte SSID field holds such a name zero-filled.
constexpr int SSID_MAX_BYTES = 32;

// True when `ssid` in the local 8-bit encoding takes at most SSID_MAX_BYTES.
bool ssidFits(const QString &ssid);

// The six bytes of a MAC address text: every ":" removed, the rest read as
// hexadecimal digit pairs (either letter case). Empty unless exactly twelve
// hexadecimal digits remain, so a short, long or otherwise malformed text
// never reaches the module (00:1A:2B:3C:4D:5E -> 00 1A 2B 3C 4D 5E).
QByteArray macFieldFromText(const QString &mac);
