#include "transfer/upgradejudge.h"

#include "protocol/frame.h"
#include "transfer/transferframes.h"

#include <QFile>
#include <QFileInfo>

namespace
{

bool isSingle(const QByteArray &reply, char byte)
{
    return reply.size() == 1 && reply.at(0) == byte;
}

bool isErrorReply(const QByteArray &reply)
{
    return reply.size() == Frame::ERROR_REPLY_LENGTH;
}

} // namespace

QByteArray announcedFileName(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1).toLocal8Bit();
}

FirmwareRefusal checkFirmwareFile(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return FirmwareRefusal::Unreadable;
    if (file.size() > Transfer::MAX_FIRMWARE_SIZE)
        return FirmwareRefusal::TooLarge;
    if (file.size() == 0)
        return FirmwareRefusal::Empty;
    if (announcedFileName(path).size() > Transfer::FILE_NAME_FIELD)
        return FirmwareRefusal::NameTooLong;
    return FirmwareRefusal::None;
}

QList<QByteArray> readBlocks(QIODevice *device, qint64 size, qint64 *bytesRead)
{
    QList<QByteArray> blocks;
    const qint64 wholeKilobytes = size / Transfer::LARGE_BLOCK_DATA * Transfer::LARGE_BLOCK_DATA;
    blocks.reserve(int(wholeKilobytes / Transfer::LARGE_BLOCK_DATA) + 8);
    quint8 number = 0;
    qint64 offset = 0;
    while (offset < size) {
        const int piece =
            offset < wholeKilobytes ? Transfer::LARGE_BLOCK_DATA : Transfer::SMALL_BLOCK_DATA;
        const qint64 wanted = qMin<qint64>(piece, size - offset);
        const QByteArray data = device->read(wanted);
        if (data.size() != wanted)
            break; // the file got shorter since it was chosen
        blocks.append(buildTransferBlock(number++, data));
        offset += data.size();
    }
    if (bytesRead)
        *bytesRead = offset;
    return blocks;
}

QCryptographicHash::Algorithm upgradeDigestFor(const QString &softwareVersion)
{
    bool ok = false;
    const int version = softwareVersion.trimmed().toInt(&ok, 10);
    return transferDigestFor(ok ? version : 0);
}

QByteArray fileDigest(const QString &path, QCryptographicHash::Algorithm algorithm)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(algorithm);
    if (!hash.addData(&file))
        return QByteArray();
    return hash.result();
}

StartReply judgeStartReply(const QByteArray &reply)
{
    if (reply.isEmpty())
        return StartReply::TimedOut;
    if (isSingle(reply, Transfer::READY))
        return StartReply::Ready;
    if (isErrorReply(reply))
        return StartReply::ErrorReply;
    return StartReply::Refused;
}

BlockStep judgeBlockReply(const QByteArray &reply, int resends)
{
    if (reply.isEmpty())
        return BlockStep::TimedOut;
    if (isErrorReply(reply))
        return BlockStep::ErrorReply;
    if (isSingle(reply, Transfer::ACK))
        return BlockStep::Acknowledged;
    if (isSingle(reply, Transfer::NAK))
        return resends >= Upgrade::MAX_RESENDS ? BlockStep::TooManyResends : BlockStep::Resend;
    return BlockStep::Unrelated;
}

Verdict judgeVerdictReply(const QByteArray &reply)
{
    if (reply.isEmpty())
        return Verdict::TimedOut;
    if (isSingle(reply, Transfer::ACK))
        return Verdict::Accepted;
    if (isErrorReply(reply))
        return Verdict::ErrorReply;
    return Verdict::Rejected;
}

StopReply judgeStopReply(const QByteArray &reply)
{
    if (reply.isEmpty())
        return StopReply::TimedOut;
    if (isErrorReply(reply))
        return StopReply::ErrorReply;
    if (isSingle(reply, Transfer::ACK))
        return StopReply::Acknowledged;
    return StopReply::Other;
}
