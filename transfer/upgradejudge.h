#pragma once

// The firmware upgrade's decisions that need no widget: which file may be
// sent, how it is cut into blocks without holding it twice, which digest the
// module expects, and what each reply of the module means for the block
// loop, the end of file and the stop request.

#include <QByteArray>
#include <QCryptographicHash>
#include <QList>
#include <QString>

#include "transfer/transferframes.h"

namespace Upgrade
{
constexpr int START_TIMEOUT_MS = 500;
constexpr int STOP_TIMEOUT_MS = 500;
constexpr int BLOCK_TIMEOUT_MS = 5000;
constexpr int VERDICT_TIMEOUT_MS = 20000;
// A block goes out once and is sent again after each of up to this many NAKs.
constexpr int MAX_RESENDS = 5;
} // namespace Upgrade

// Why a chosen file cannot be sent.
enum class FirmwareRefusal {
    None,
    Unreadable, // cannot be opened for reading
    Empty,
    TooLarge,    // over 31457280 bytes
    NameTooLong, // over 64 bytes in the local encoding
};

// The name announced in the start-loading request: the text after the last
// "/" of `path` (all of it when there is none), in the local 8-bit encoding.
QByteArray announcedFileName(const QString &path);

// The first reason (in the order Unreadable, TooLarge, Empty, NameTooLong)
// for which the file at `path` cannot be upgraded, or None.
FirmwareRefusal checkFirmwareFile(const QString &path);

// The digest the module checks an image with: SHA-256 when the software
// version text is a decimal number above 124, SHA-1 otherwise (also when no
// version has been read).
QCryptographicHash::Algorithm upgradeDigestFor(const QString &softwareVersion);

// The digest of a whole file, read in pieces (never held whole); empty when
// the file cannot be opened or read.
QByteArray fileDigest(const QString &path, QCryptographicHash::Algorithm algorithm);

// What the module's reply to start loading means.
enum class StartReply {
    TimedOut,   // nothing came
    Ready,      // exactly the single byte "C"
    ErrorReply, // exactly three bytes
    Refused,    // anything else
};
StartReply judgeStartReply(const QByteArray &reply);

// What to do after the reply to a block.
enum class BlockStep {
    TimedOut,       // nothing came: stop the transfer
    ErrorReply,     // three bytes: report the code, stop the transfer
    Acknowledged,   // ACK: next block, or the end of file after the last
    Resend,         // NAK while resends are left: send the same block again
    TooManyResends, // NAK after MAX_RESENDS resends: stop the transfer
    Unrelated,      // anything else: stop the transfer
};
// `resends` is how often the block has been sent again already.
BlockStep judgeBlockReply(const QByteArray &reply, int resends);

// The module's verdict on the image, in reply to EOT.
enum class Verdict {
    TimedOut,   // nothing came: the upgrade still runs
    Accepted,   // ACK
    ErrorReply, // three bytes: report the code, stop the transfer
    Rejected,   // anything else
};
Verdict judgeVerdictReply(const QByteArray &reply);

// The reply to the stop request (CAN), also used when cancelling a log.
enum class StopReply {
    TimedOut,
    Acknowledged, // exactly the single byte ACK
    ErrorReply,
    Other, // fails without a message
};
StopReply judgeStopReply(const QByteArray &reply);
