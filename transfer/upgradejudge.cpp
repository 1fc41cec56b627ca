#include "transfer/upgradejudge.h"

#include "crypto/credential.h"
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

QCryptographicHash::Algorithm upgradeDigestFor(const QString &softwareVersion)
{
    return transferDigestFor(softwareVersionNumber(softwareVersion).value_or(0));
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
