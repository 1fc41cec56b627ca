#pragma once

// The request and reply frames of the module's debug port: Modbus-RTU-like
// frames (slave address, function, big-endian register address and count,
// data) closed by a CRC-16/XMODEM sent high byte first. Plain functions over
// bytes; nothing here knows about ports, timers or widgets.

#include "crypto/credentialfield.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The module's debug line and its factory account, as every side of the
// line uses them: 230400 baud, 8 data bits, no parity, 1 stop bit, no flow
// control; a factory password the module accepts only to change it.
namespace ModuleLine
{
constexpr qint32 BAUD_RATE = 230400;
constexpr int DATA_BITS = 8;
constexpr int STOP_BITS = 1;
constexpr char FACTORY_PASSWORD[] = "Initpass_456";
} // namespace ModuleLine

// CRC-16/XMODEM (polynomial 0x1021, initial 0, no reflection, no final XOR)
// of `length` bytes from `data`. A length of 0 or less yields 0.
quint16 crc16Xmodem(const char *data, int length);
quint16 crc16Xmodem(const QByteArray &data);

// True when the last two of `length` received bytes are the CRC (high byte
// first) of the bytes before them. Fewer than three bytes never pass, and no
// byte outside [data, data + length) is read.
bool checkReplyCrc(const char *data, int length);
bool checkReplyCrc(const QByteArray &reply);

// Appends the CRC of everything in `frame`, high byte first.
void appendCrc(QByteArray &frame);

// Upper-case hex with a blank between bytes, for the debug traces.
QString hexUpper(const QByteArray &bytes);

namespace Frame
{
constexpr quint8 SLAVE_ADDRESS = 0x01;
constexpr quint8 FUNCTION_READ = 0x03;
constexpr quint8 FUNCTION_WRITE = 0x10;
constexpr int READ_REQUEST_LENGTH = 8;
constexpr int WRITE_REPLY_LENGTH = 8;
constexpr int ERROR_REPLY_LENGTH = 3;
constexpr int READ_REPLY_HEADER = 3; // slave, function, byte count
constexpr int CRC_LENGTH = 2;
constexpr int MAX_WRITE_DATA = 254; // the byte count travels in one byte, registers are pairs
} // namespace Frame

// The module's register map.
namespace Registers
{
constexpr quint16 SOFTWARE_VERSION = 0x0000;
constexpr quint16 HARDWARE_VERSION = 0x0001;
constexpr quint16 UART_BAUD_RATE = 0x0020; // two registers, 32 bits
constexpr quint16 UART_DATA_BITS = 0x0022;
constexpr quint16 UART_STOP_BITS = 0x0023;
constexpr quint16 UART_PARITY = 0x0024;
constexpr quint16 WIFI_SSID = 0x0031; // 32 registers, 64 bytes of text
constexpr quint16 WIFI_CHANNEL = 0x0051;
constexpr quint16 WIFI_BAND_WIDTH = 0x0052;
constexpr quint16 WIFI_ENCRYPTION = 0x0053;
constexpr quint16 WIFI_PASSWORD = 0x0054; // 16 registers, 32 bytes of text
constexpr quint16 WIFI_IP = 0x0064;
constexpr quint16 WIFI_MASK = 0x0066;
constexpr quint16 WIFI_MAC = 0x0068; // 3 registers
constexpr quint16 FE_IP = 0x0071;
constexpr quint16 FE_MASK = 0x0073;
constexpr quint16 FE_MAC = 0x0075;
constexpr quint16 LOGIN_BLOCK = 0x007D;      // 64 registers: account, password
constexpr quint16 CREDENTIAL_BLOCK = 0x00BD; // 64 registers, same layout
constexpr quint16 LOGOUT_COMMAND = 0x00FD;
constexpr int SSID_FIELD_BYTES = 64;
constexpr int WIFI_PASSWORD_FIELD_BYTES = 32;
constexpr int MAC_FIELD_BYTES = 6;
constexpr int CREDENTIAL_FIELD_BYTES = CREDENTIAL_FIELD_LENGTH;
} // namespace Registers

// Read request: 01 03 <first> <count> <crc>, 8 bytes.
QByteArray buildReadRequest(quint16 firstRegister, quint16 registerCount);

// The module's answer to a write: 01 10 <first> <count> <crc>, 8 bytes.
QByteArray buildWriteReply(quint16 firstRegister, quint16 registerCount);

// Write request: 01 10 <first> <count = n/2> <n> <data> <crc>, 7 + n + 2 bytes.
// `data` must hold an even number of bytes, at most MAX_WRITE_DATA; otherwise
// the result is empty.
QByteArray buildWriteRequest(quint16 firstRegister, const QByteArray &data);

// Every request of a device session, with its reply length and time limit.
enum class SessionRequest {
    ReadVersions,
    ReadUart,
    ReadWifi,
    ReadFe,
    WriteSsid,
    WriteWifiPassword,
    WriteWifiMac,
    WriteFeMac,
    Login,
    ChangeCredentials,
    Logout,
};

struct SessionRequestSpec {
    quint8 function;
    quint16 firstRegister;
    quint16 registerCount;
    int dataBytes;    // write requests only
    int requestBytes; // total frame length
    int replyBytes;   // the length that ends the wait; 0 for logout (not awaited)
    int timeLimitMs;  // 0 for logout
};

const SessionRequestSpec &sessionRequestSpec(SessionRequest request);

// A wait ends early once more bytes than this have arrived (reply length - 1).
int replyThreshold(SessionRequest request);

// The four reads.
QByteArray buildSessionReadRequest(SessionRequest request);

// Session writes. `field` is fitted to the request's data width: zero-filled
// when shorter, cut when longer, so no input can overflow a field.
QByteArray buildSessionWriteRequest(SessionRequest request, const QByteArray &field);

// 01 10 00 FD 00 01 02 00 01 <crc>, 11 bytes.
QByteArray buildLogoutRequest();

// What the received bytes are, once a wait has ended.
enum class ReplyKind {
    Nothing,         // no byte arrived: the operation's time-out
    ErrorReply,      // exactly three bytes: byte 2 is the error code
    ChecksumFailure, // any other length whose CRC does not hold
    Accepted,        // the CRC holds; fields may be decoded
};

ReplyKind classifyReply(const QByteArray &received);

// The error code of an error reply (byte 2); 0 when `reply` is too short.
quint8 errorCodeOf(const QByteArray &reply);

// The module's error codes: Modbus exceptions 0x01-0x04 and its own login and
// session codes 0x12-0x16.
namespace ErrorCode
{
constexpr quint8 ILLEGAL_FUNCTION = 0x01;
constexpr quint8 ILLEGAL_ADDRESS = 0x02;
constexpr quint8 ILLEGAL_VALUE = 0x03;
constexpr quint8 DEVICE_FAILURE = 0x04;
constexpr quint8 WRONG_CREDENTIALS = 0x12;
constexpr quint8 LOGIN_TIMED_OUT = 0x13;
constexpr quint8 ACCOUNT_LOCKED = 0x14;
constexpr quint8 ILLEGAL_OPERATION = 0x15;
constexpr quint8 DEFAULT_PASSWORD = 0x16;
} // namespace ErrorCode

enum class SessionEffect {
    None,
    EndsSession,          // the page returns to the login view
    ForcedPasswordChange, // factory login password: the change is forced
};

// What an error code does to the session: 0x13 and 0x15 end it, 0x16 forces
// the change of the factory login password, every other code nothing.
SessionEffect errorEffect(quint8 code);
