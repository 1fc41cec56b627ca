#pragma once

// Decoding and formatting of the module's device-information blocks. Plain
// functions over reply frames: offsets count from the first byte of a read
// reply (register data starts at offset 3), numbers are big-endian.

#include "protocol/frame.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

// 123 → "V1.2.3", 7 → "V7", 1024 → "V1.0.2.4".
QString formatVersion(quint16 number);

// Four bytes in decimal joined by "." (C0 A8 01 01 → 192.168.1.1).
QString formatDottedQuad(const QByteArray &bytes);

// Six bytes as upper-case hex pairs joined by ":" (00:1A:2B:3C:4D:5E).
QString formatMacColons(const QByteArray &bytes);

// Text read from the module: the bytes up to the first zero byte, decoded as
// UTF-8, with leading and trailing white space stripped.
QString decodeModuleText(const QByteArray &field);

// Stop-bit code 2 is shown as "1.5", every other code in decimal.
QString stopBitText(quint16 code);

// Parity codes 0-4 and encryption codes 0-2; other codes have no text and
// leave the shown value unchanged.
std::optional<QString> parityText(quint16 code);
std::optional<QString> encryptionText(quint16 code);
// The stable keys of parity codes 0-4 ("none", "odd", "even", "mark",
// "space") for machine-read output; empty for any other code.
QString parityKey(quint16 code);

struct VersionInfo {
    quint16 software = 0;
    quint16 hardware = 0;
};

struct UartInfo {
    quint32 baudRate = 0;
    quint16 dataBits = 0;
    quint16 stopBitCode = 0;
    quint16 parityCode = 0;
};

struct WifiInfo {
    QString ssid; // the 64-byte field up to its first zero byte, untrimmed
    quint16 channel = 0;
    quint16 bandWidth = 0;
    quint16 encryptionCode = 0;
    QString password;
    QByteArray ip;
    QByteArray mask;
    QByteArray mac;
};

struct FeInfo {
    QByteArray ip;
    QByteArray mask;
    QByteArray mac;
};

// Each decoder fills `info` from a whole reply frame and returns true; a
// frame shorter than its block's reply length is refused (false) and never
// read beyond its bytes.
bool decodeVersionReply(const QByteArray &reply, VersionInfo *info);
bool decodeUartReply(const QByteArray &reply, UartInfo *info);
bool decodeWifiReply(const QByteArray &reply, WifiInfo *info);
bool decodeFeReply(const QByteArray &reply, FeInfo *info);

// A reply in upper-case hex for the protocol trace. The 32 bytes of the Wi-Fi
// password field of a Wi-Fi reply are shown as "**", so the trace gives no
// password away; every other reply is shown whole.
QString replyTraceHex(SessionRequest request, const QByteArray &reply);
