#pragma once

// The frames of the two file transfers over the debug port: the numbered,
// checksummed blocks and single-byte signals shared by the firmware upgrade
// (tool sends, module receives) and the log upload (module sends, tool
// receives), the start-loading request and the log request and reply. Pure
// functions over bytes; none of them reads outside the bytes it is given.

#include <QByteArray>
#include <QCryptographicHash>
#include <QList>
#include <QString>
#include <QtGlobal>

class QIODevice;

namespace Transfer
{
// Single-byte signals and block headers.
constexpr char SOH = 0x01; // header of a 128-byte block
constexpr char STX = 0x02; // header of a 1024-byte block
constexpr char EOT = 0x04; // end of file
constexpr char ACK = 0x06;
constexpr char NAK = 0x15;
constexpr char CAN = 0x18;   // stop the transfer
constexpr char READY = 0x43; // "C": the receiver is ready
constexpr char PADDING = 0x1A;

constexpr int LARGE_BLOCK_DATA = 1024;
constexpr int SMALL_BLOCK_DATA = 128;
constexpr int BLOCK_OVERHEAD = 5; // header, number, complement, two CRC bytes
constexpr int LARGE_BLOCK_LENGTH = LARGE_BLOCK_DATA + BLOCK_OVERHEAD; // 1029
constexpr int SMALL_BLOCK_LENGTH = SMALL_BLOCK_DATA + BLOCK_OVERHEAD; // 133

// Function 0x41 frames: 01 41 <kind> <N> <N bytes> <crc>, 6 + N bytes.
constexpr quint8 FUNCTION_TRANSFER = 0x41;
constexpr quint8 KIND_START_LOADING = 0x01;
constexpr quint8 KIND_LOG = 0x05;
constexpr int TRANSFER_HEADER = 4; // slave, function, kind, N
constexpr int FILE_NAME_FIELD = 64;
constexpr int ANNOUNCEMENT_FIXED = 69; // N without the digest: marker, name, size
constexpr int DIGEST_OFFSET = 73;
constexpr int LOG_REQUEST_LENGTH = 7;

// The largest firmware image the tool sends and the module takes (30 MiB).
constexpr qint64 MAX_FIRMWARE_SIZE = 31457280;
} // namespace Transfer

// One block frame: STX, number, complement, 1024 data bytes, CRC (1029 bytes)
// when `data` holds exactly 1024 bytes; otherwise SOH, number, complement,
// the first 128 bytes of `data` filled up with 0x1A, CRC (133 bytes). The CRC
// covers the data field only, high byte first.
QByteArray buildTransferBlock(quint8 number, const QByteArray &data);

// The block frames of a whole file in sending order: 1024-byte blocks for the
// whole kilobytes, then 128-byte blocks for the rest, the last one padded
// with 0x1A. Numbers start at 0 and rise across both kinds, kept to 8 bits.
// An empty file gives no block.
QList<QByteArray> cutIntoBlocks(const QByteArray &content);

// The block frames of a file, read piece by piece from `device` (opened for
// reading), so that only the blocks are held in memory; cutIntoBlocks() is
// this same cutter over the content in memory. Reads `size` bytes; when the
// device ends early (the file got shorter) the blocks stop before the piece
// that came short. *bytesRead (may be null) gets the bytes the blocks carry.
QList<QByteArray> readBlocks(QIODevice *device, qint64 size, qint64 *bytesRead);

// The total frame length announced by the first bytes of a block: 1029 for
// STX, 133 for SOH, 0 for any other header byte.
int transferBlockLength(char header);

// Checks a received block frame: length matching its header, complement of
// the number and CRC over the data. On success fills *number and *data (the
// whole data field, padding included) and returns true; otherwise leaves
// them unchanged. Either pointer may be null.
bool parseTransferBlock(const QByteArray &frame, quint8 *number, QByteArray *data);

// Lower-case hexadecimal digest text of `content`.
QByteArray digestHex(const QByteArray &content, QCryptographicHash::Algorithm algorithm);

// The digest the module takes for its software version: SHA-1 up to version
// 124, SHA-256 above.
QCryptographicHash::Algorithm transferDigestFor(int softwareVersion);

// Start-loading request: 01 41 01 N 02, the name zero-filled to 64 bytes (cut
// when longer), the size big-endian, the digest text, CRC; N = 69 + the
// digest's length. A digest too long for N to fit its byte (over 186 bytes)
// is cut to fit.
QByteArray buildStartLoadingRequest(const QByteArray &encodedName, quint32 size,
                                    const QByteArray &digestHex);

// The file the tool announces before an upgrade.
struct LoadingAnnouncement {
    QByteArray encodedName; // up to the first zero byte
    quint32 size = 0;
    QByteArray digest; // as sent: lower-case hex text
};

// Module side: accepts a complete start-loading request whose length is
// 6 + N, N of at least 69, and whose CRC holds. Otherwise false, *out
// unchanged.
bool parseStartLoadingRequest(const QByteArray &frame, LoadingAnnouncement *out);

// Log request: 01 41 05 01 03 5A DB.
QByteArray buildLogRequest();

// Log reply: 01 41 05 N 02, the name zero-filled to 64 bytes (cut when
// longer), the size big-endian, the digest text, CRC over everything before;
// N = 69 + the digest's length (cut to fit like the start-loading request).
QByteArray buildLogReply(const QByteArray &name, quint32 size, const QByteArray &digestHex);

// The log file the module announces.
struct LogAnnouncement {
    QString fileName; // UTF-8 up to the first zero byte, white space stripped at both ends
    qint32 size = 0;  // an announced size of 2^31 or more counts as 0
    QByteArray digest;
};

// Tool side: accepts a reply longer than 69 bytes whose CRC (over all of it)
// holds, with N of at least 69 and a digest that ends before the CRC. Bytes 0
// to 2 and 4 are not examined. Otherwise false, *out unchanged.
bool parseLogReply(const QByteArray &reply, LogAnnouncement *out);
