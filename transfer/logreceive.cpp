#include "transfer/logreceive.h"

#include <QDir>
#include <QTemporaryFile>

#include "protocol/frame.h"

namespace
{

// The bytes a received block frame begins with and the receiver skips:
// header, number, complement.
constexpr int SKIPPED_HEADER = 3;

} // namespace

LogRequestReply judgeLogRequestReply(const QByteArray &reply, LogAnnouncement *out)
{
    if (reply.isEmpty())
        return LogRequestReply::TimedOut;
    if (reply.size() == Frame::ERROR_REPLY_LENGTH)
        return LogRequestReply::ErrorReply;
    if (reply.size() <= Transfer::ANNOUNCEMENT_FIXED)
        return LogRequestReply::Unrelated;
    if (!checkReplyCrc(reply))
        return LogRequestReply::ChecksumFailure;
    if (!parseLogReply(reply, out))
        return LogRequestReply::Malformed;
    return LogRequestReply::Accepted;
}

bool isSafeLogFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

LogReceiver::Result LogReceiver::take(const QByteArray &chunk)
{
    Result result;
    if (chunk.isEmpty())
        return result;
    const QByteArray block = chunk.mid(SKIPPED_HEADER);
    if (!checkReplyCrc(block)) {
        result.outcome = Outcome::BadCrc;
        return result;
    }
    const int dataLength = block.size() - Frame::CRC_LENGTH;
    const qint64 after = total + dataLength;
    const qint64 size = qMax<qint32>(expected, 0);
    result.outcome = Outcome::Written;
    if (after <= size) {
        result.toWrite = block.left(dataLength);
        result.progress = after;
    } else {
        // The final block with its padding: only what the size leaves.
        result.toWrite = block.left(int(qBound<qint64>(0, size - total, dataLength)));
        result.progress = size + dataLength - Transfer::SMALL_BLOCK_DATA;
    }
    total = after;
    return result;
}

bool logDigestMatches(const QByteArray &announced, const QByteArray &sha256Hex,
                      const QByteArray &sha1Hex)
{
    const int zero = announced.indexOf('\0');
    const QByteArray text = zero < 0 ? announced : announced.left(zero);
    return text == sha256Hex || text == sha1Hex;
}

bool directoryTakesNewFiles(const QString &directory)
{
    const QDir dir(directory);
    if (directory.isEmpty() || !dir.exists())
        return false;
    QTemporaryFile probe(dir.filePath(QStringLiteral(".write-probe-XXXXXX")));
    return probe.open(); // removed again when it goes out of scope
}
