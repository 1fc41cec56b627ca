#include "protocol/frame.h"

#include "base/bytes.h"

#include <array>

namespace
{

constexpr quint16 CRC_POLYNOMIAL = 0x1021;

// Entry i is the CRC register after byte i has passed eight shift-and-XOR
// steps of the polynomial.
constexpr std::array<quint16, 256> makeCrcTable()
{
    std::array<quint16, 256> table{};
    for (int i = 0; i < 256; ++i) {
        quint16 crc = static_cast<quint16>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<quint16>((crc << 1) ^ CRC_POLYNOMIAL)
                                 : static_cast<quint16>(crc << 1);
        table[static_cast<size_t>(i)] = crc;
    }
    return table;
}

constexpr std::array<quint16, 256> CRC_TABLE = makeCrcTable();

// Request table of the device session.
const SessionRequestSpec SESSION_REQUESTS[] = {
    // function, first, count, data, request, reply, limit
    {Frame::FUNCTION_READ, Registers::SOFTWARE_VERSION, 2, 0, 8, 9, 500},
    {Frame::FUNCTION_READ, Registers::UART_BAUD_RATE, 5, 0, 8, 15, 500},
    {Frame::FUNCTION_READ, Registers::WIFI_SSID, 58, 0, 8, 121, 500},
    {Frame::FUNCTION_READ, Registers::FE_IP, 7, 0, 8, 19, 500},
    {Frame::FUNCTION_WRITE, Registers::WIFI_SSID, 32, 64, 73, 8, 500},
    {Frame::FUNCTION_WRITE, Registers::WIFI_PASSWORD, 16, 32, 41, 8, 500},
    {Frame::FUNCTION_WRITE, Registers::WIFI_MAC, 3, 6, 15, 8, 500},
    {Frame::FUNCTION_WRITE, Registers::FE_MAC, 3, 6, 15, 8, 500},
    {Frame::FUNCTION_WRITE, Registers::LOGIN_BLOCK, 64, 128, 137, 8, 1000},
    {Frame::FUNCTION_WRITE, Registers::CREDENTIAL_BLOCK, 64, 128, 137, 8, 1000},
    {Frame::FUNCTION_WRITE, Registers::LOGOUT_COMMAND, 1, 2, 11, 0, 0},
};

} // namespace

quint16 crc16Xmodem(const char *data, int length)
{
    quint16 crc = 0;
    for (int i = 0; i < length; ++i) {
        const quint8 byte = static_cast<quint8>(data[i]);
        crc = static_cast<quint16>((crc << 8) ^ CRC_TABLE[((crc >> 8) ^ byte) & 0xFF]);
    }
    return crc;
}

quint16 crc16Xmodem(const QByteArray &data)
{
    return crc16Xmodem(data.constData(), data.size());
}

bool checkReplyCrc(const char *data, int length)
{
    if (data == nullptr || length < Frame::CRC_LENGTH + 1)
        return false;
    const quint16 crc = crc16Xmodem(data, length - Frame::CRC_LENGTH);
    const quint8 high = static_cast<quint8>(data[length - 2]);
    const quint8 low = static_cast<quint8>(data[length - 1]);
    return high == (crc >> 8) && low == (crc & 0xFF);
}

bool checkReplyCrc(const QByteArray &reply)
{
    return checkReplyCrc(reply.constData(), reply.size());
}

void appendCrc(QByteArray &frame)
{
    Bytes::append16(frame, crc16Xmodem(frame));
}

QString hexUpper(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

namespace
{

// 01 <function> <first> <count> <crc>: a read request or a write reply.
QByteArray buildRegisterRangeFrame(quint8 function, quint16 firstRegister, quint16 registerCount)
{
    QByteArray frame;
    frame.reserve(Frame::READ_REQUEST_LENGTH);
    frame.append(static_cast<char>(Frame::SLAVE_ADDRESS));
    frame.append(static_cast<char>(function));
    Bytes::append16(frame, firstRegister);
    Bytes::append16(frame, registerCount);
    appendCrc(frame);
    return frame;
}

} // namespace

QByteArray buildReadRequest(quint16 firstRegister, quint16 registerCount)
{
    return buildRegisterRangeFrame(Frame::FUNCTION_READ, firstRegister, registerCount);
}

QByteArray buildWriteReply(quint16 firstRegister, quint16 registerCount)
{
    return buildRegisterRangeFrame(Frame::FUNCTION_WRITE, firstRegister, registerCount);
}

QByteArray buildWriteRequest(quint16 firstRegister, const QByteArray &data)
{
    if (data.size() % 2 != 0 || data.size() > Frame::MAX_WRITE_DATA)
        return QByteArray();
    QByteArray frame;
    frame.reserve(7 + data.size() + Frame::CRC_LENGTH);
    frame.append(static_cast<char>(Frame::SLAVE_ADDRESS));
    frame.append(static_cast<char>(Frame::FUNCTION_WRITE));
    Bytes::append16(frame, firstRegister);
    Bytes::append16(frame, static_cast<quint16>(data.size() / 2));
    frame.append(static_cast<char>(data.size()));
    frame.append(data);
    appendCrc(frame);
    return frame;
}

const SessionRequestSpec &sessionRequestSpec(SessionRequest request)
{
    return SESSION_REQUESTS[static_cast<int>(request)];
}

int replyThreshold(SessionRequest request)
{
    return sessionRequestSpec(request).replyBytes - 1;
}

QByteArray buildSessionReadRequest(SessionRequest request)
{
    const SessionRequestSpec &spec = sessionRequestSpec(request);
    if (spec.function != Frame::FUNCTION_READ)
        return QByteArray();
    return buildReadRequest(spec.firstRegister, spec.registerCount);
}

QByteArray buildSessionWriteRequest(SessionRequest request, const QByteArray &field)
{
    const SessionRequestSpec &spec = sessionRequestSpec(request);
    if (spec.function != Frame::FUNCTION_WRITE)
        return QByteArray();
    return buildWriteRequest(spec.firstRegister, Bytes::zeroFilled(field, spec.dataBytes));
}

QByteArray buildLogoutRequest()
{
    return buildSessionWriteRequest(SessionRequest::Logout, QByteArray("\x00\x01", 2));
}

ReplyKind classifyReply(const QByteArray &received)
{
    if (received.isEmpty())
        return ReplyKind::Nothing;
    if (received.size() == Frame::ERROR_REPLY_LENGTH)
        return ReplyKind::ErrorReply;
    return checkReplyCrc(received) ? ReplyKind::Accepted : ReplyKind::ChecksumFailure;
}

quint8 errorCodeOf(const QByteArray &reply)
{
    return reply.size() >= Frame::ERROR_REPLY_LENGTH ? static_cast<quint8>(reply.at(2)) : 0;
}

SessionEffect errorEffect(quint8 code)
{
    switch (code) {
    case ErrorCode::LOGIN_TIMED_OUT:
    case ErrorCode::ILLEGAL_OPERATION:
        return SessionEffect::EndsSession;
    case ErrorCode::DEFAULT_PASSWORD:
        return SessionEffect::ForcedPasswordChange;
    default:
        return SessionEffect::None;
    }
}
