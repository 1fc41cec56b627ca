#pragma once

// The log upload's decisions that need no widget: what the reply to the log
// request means, whether the announced file name may be used, how much of
// each received block goes into the file and where the progress bar stands,
// and whether the finished file has the announced digest.

#include "transfer/transferframes.h"

#include <QByteArray>
#include <QString>

namespace LogUpload
{
constexpr int REQUEST_WAIT_MS = 500; // always waited in full
constexpr int CANCEL_TIMEOUT_MS = 500;
constexpr int PASS_MS = 300; // one receive pass, whatever arrives
} // namespace LogUpload

// What the collected reply to the log request is.
enum class LogRequestReply {
    TimedOut,        // nothing came
    ErrorReply,      // exactly three bytes
    Unrelated,       // 1 to 69 bytes otherwise
    ChecksumFailure, // longer, CRC does not hold
    Malformed,       // CRC holds, but N is below 69 or the digest overruns the frame
    Accepted,        // *out filled
};
// Fills *out (may be null) only for Accepted.
LogRequestReply judgeLogRequestReply(const QByteArray &reply, LogAnnouncement *out);

// A name the module announces may name a file in the chosen directory only:
// not empty, not "." or "..", no "/" or "\".
bool isSafeLogFileName(const QString &name);

// True when a file can be created in `directory` now: a probe file is made
// there and removed again. Permission bits alone do not tell (they do not
// bind an administrator, and a read-only mount or a vanished directory keeps
// its bits).
bool directoryTakesNewFiles(const QString &directory);

// The bookkeeping of the receive loop for one upload of `expectedSize`
// bytes. Each pass hands its chunk (everything received in the pass) to
// take(): the first three bytes are skipped unexamined, the CRC is checked
// over the rest, and the data of a good block are cut to the announced size.
class LogReceiver
{
public:
    explicit LogReceiver(qint32 expectedSize = 0) : expected(expectedSize) {}

    enum class Outcome {
        Empty,   // nothing came this pass: NAK
        BadCrc,  // NAK, ask for the block again
        Written, // ACK; toWrite goes to the file
    };
    struct Result {
        Outcome outcome = Outcome::Empty;
        QByteArray toWrite;
        // The progress bar's new value: the bytes accepted so far, or for the
        // block that runs past the size, the size plus the block's data
        // length minus 128 (the size itself for a 128-byte block; a value
        // above the bar's range leaves the bar where it is).
        qint64 progress = 0;
    };
    Result take(const QByteArray &chunk);

    // Data bytes of good blocks so far, padding included.
    qint64 received() const { return total; }
    // Bytes written to the file so far (never more than the size).
    qint64 written() const { return qMin<qint64>(total, qMax<qint32>(expected, 0)); }
    qint32 expectedSize() const { return expected; }

private:
    qint32 expected;
    qint64 total = 0;
};

// The announced digest (as text up to its first zero byte) against the
// finished file's SHA-256 and SHA-1 texts, case-sensitively: true when it
// equals either.
bool logDigestMatches(const QByteArray &announced, const QByteArray &sha256Hex,
                      const QByteArray &sha1Hex);
