#include "transfer/transferframes.h"

#include "base/bytes.h"
#include "crypto/credential.h"
#include "protocol/frame.h"

#include <QBuffer>

namespace
{

using Bytes::upToFirstZero;
using Bytes::zeroFilled;

// 01 41 <kind> N 02 <name 64> <size 4> <digest> <crc>.
QByteArray buildAnnouncement(quint8 kind, const QByteArray &name, quint32 size,
                             const QByteArray &digestHex)
{
    const QByteArray digest = digestHex.left(255 - Transfer::ANNOUNCEMENT_FIXED);
    QByteArray frame;
    frame.append(char(Frame::SLAVE_ADDRESS));
    frame.append(char(Transfer::FUNCTION_TRANSFER));
    frame.append(char(kind));
    frame.append(char(Transfer::ANNOUNCEMENT_FIXED + digest.size()));
    frame.append(Transfer::STX);
    frame.append(zeroFilled(name, Transfer::FILE_NAME_FIELD));
    Bytes::append32(frame, size);
    frame.append(digest);
    appendCrc(frame);
    return frame;
}

// Length of the digest an announcement frame carries, or -1 when N is below
// 69 or the digest would run into the CRC or past the frame.
int announcedDigestLength(const QByteArray &frame)
{
    if (frame.size() < Transfer::DIGEST_OFFSET + Frame::CRC_LENGTH)
        return -1;
    const int n = quint8(frame.at(3));
    const int digestLength = n - Transfer::ANNOUNCEMENT_FIXED;
    if (digestLength < 0)
        return -1;
    if (Transfer::DIGEST_OFFSET + digestLength > frame.size() - Frame::CRC_LENGTH)
        return -1;
    return digestLength;
}

} // namespace

QByteArray buildTransferBlock(quint8 number, const QByteArray &data)
{
    const bool large = data.size() == Transfer::LARGE_BLOCK_DATA;
    const QByteArray field =
        large ? data
              : data.left(Transfer::SMALL_BLOCK_DATA)
                    .leftJustified(Transfer::SMALL_BLOCK_DATA, Transfer::PADDING);
    QByteArray block;
    block.reserve(field.size() + Transfer::BLOCK_OVERHEAD);
    block.append(large ? Transfer::STX : Transfer::SOH);
    block.append(char(number));
    block.append(char(~number));
    block.append(field);
    Bytes::append16(block, crc16Xmodem(field));
    return block;
}

QList<QByteArray> cutIntoBlocks(const QByteArray &content)
{
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly);
    return readBlocks(&buffer, content.size(), nullptr);
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

int transferBlockLength(char header)
{
    if (header == Transfer::STX)
        return Transfer::LARGE_BLOCK_LENGTH;
    if (header == Transfer::SOH)
        return Transfer::SMALL_BLOCK_LENGTH;
    return 0;
}

bool parseTransferBlock(const QByteArray &frame, quint8 *number, QByteArray *data)
{
    if (frame.isEmpty() || frame.size() != transferBlockLength(frame.at(0)))
        return false;
    const quint8 blockNumber = quint8(frame.at(1));
    if (quint8(frame.at(2)) != quint8(~blockNumber))
        return false;
    const int dataLength = frame.size() - Transfer::BLOCK_OVERHEAD;
    const QByteArray field = frame.mid(3, dataLength);
    const quint16 received = Bytes::read16(frame, 3 + dataLength);
    if (crc16Xmodem(field) != received)
        return false;
    if (number)
        *number = blockNumber;
    if (data)
        *data = field;
    return true;
}

QByteArray digestHex(const QByteArray &content, QCryptographicHash::Algorithm algorithm)
{
    return QCryptographicHash::hash(content, algorithm).toHex();
}

QCryptographicHash::Algorithm transferDigestFor(int softwareVersion)
{
    return isNewerFirmware(softwareVersion) ? QCryptographicHash::Sha256 : QCryptographicHash::Sha1;
}

QByteArray buildStartLoadingRequest(const QByteArray &encodedName, quint32 size,
                                    const QByteArray &digestHex)
{
    return buildAnnouncement(Transfer::KIND_START_LOADING, encodedName, size, digestHex);
}

bool parseStartLoadingRequest(const QByteArray &frame, LoadingAnnouncement *out)
{
    if (frame.size() < Transfer::TRANSFER_HEADER ||
        quint8(frame.at(1)) != Transfer::FUNCTION_TRANSFER ||
        quint8(frame.at(2)) != Transfer::KIND_START_LOADING)
        return false;
    if (frame.size() != Transfer::TRANSFER_HEADER + quint8(frame.at(3)) + Frame::CRC_LENGTH)
        return false;
    const int digestLength = announcedDigestLength(frame);
    if (digestLength < 0 || !checkReplyCrc(frame))
        return false;
    if (out) {
        out->encodedName = upToFirstZero(frame.mid(5, Transfer::FILE_NAME_FIELD));
        out->size = Bytes::read32(frame, 69);
        out->digest = frame.mid(Transfer::DIGEST_OFFSET, digestLength);
    }
    return true;
}

QByteArray buildLogRequest()
{
    QByteArray frame;
    frame.append(char(Frame::SLAVE_ADDRESS));
    frame.append(char(Transfer::FUNCTION_TRANSFER));
    frame.append(char(Transfer::KIND_LOG));
    frame.append(char(0x01));
    frame.append(char(0x03));
    appendCrc(frame);
    return frame;
}

QByteArray buildLogReply(const QByteArray &name, quint32 size, const QByteArray &digestHex)
{
    return buildAnnouncement(Transfer::KIND_LOG, name, size, digestHex);
}

bool parseLogReply(const QByteArray &reply, LogAnnouncement *out)
{
    if (reply.size() <= Transfer::ANNOUNCEMENT_FIXED || !checkReplyCrc(reply))
        return false;
    const int digestLength = announcedDigestLength(reply);
    if (digestLength < 0)
        return false;
    if (out) {
        const QByteArray name = upToFirstZero(reply.mid(5, Transfer::FILE_NAME_FIELD));
        const quint32 size = Bytes::read32(reply, 69);
        out->fileName = QString::fromUtf8(name).trimmed();
        out->size = size > quint32(INT32_MAX) ? 0 : qint32(size);
        out->digest = reply.mid(Transfer::DIGEST_OFFSET, digestLength);
    }
    return true;
}
