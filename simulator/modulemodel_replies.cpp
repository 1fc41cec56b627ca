// The module simulator's replies and the faults that spoil them, and the
// names its trace lines give to requests, signals and error codes.
#include "simulator/modulemodel.h"

#include "base/bytes.h"
#include "protocol/frame.h"
#include "simulator/modulemodel_names.h"

#include <QTimer>

namespace
{

constexpr quint8 ERROR_FLAG = 0x80;
constexpr quint8 FUNCTION_TRANSFER = Transfer::FUNCTION_TRANSFER;

} // namespace

namespace ModuleNames
{

QString errorName(quint8 code)
{
    switch (code) {
    case ErrorCode::ILLEGAL_FUNCTION:
        return QStringLiteral("illegal function");
    case ErrorCode::ILLEGAL_ADDRESS:
        return QStringLiteral("illegal data address");
    case ErrorCode::ILLEGAL_VALUE:
        return QStringLiteral("illegal data value");
    case ErrorCode::DEVICE_FAILURE:
        return QStringLiteral("device failure");
    case ErrorCode::WRONG_CREDENTIALS:
        return QStringLiteral("wrong account or password");
    case ErrorCode::LOGIN_TIMED_OUT:
        return QStringLiteral("session timed out");
    case ErrorCode::ACCOUNT_LOCKED:
        return QStringLiteral("account locked");
    case ErrorCode::ILLEGAL_OPERATION:
        return QStringLiteral("illegal operation");
    case ErrorCode::DEFAULT_PASSWORD:
        return QStringLiteral("factory password, change required");
    default:
        return QStringLiteral("unknown code");
    }
}

QString registerBlockName(quint16 first, quint16 count)
{
    struct Named {
        quint16 first;
        quint16 count;
        const char *name;
    };
    static const Named names[] = {
        {Registers::SOFTWARE_VERSION, 2, "versions"},
        {Registers::UART_BAUD_RATE, 5, "RS-485"},
        {Registers::WIFI_SSID, 58, "Wi-Fi"},
        {Registers::FE_IP, 7, "FE"},
        {Registers::WIFI_SSID, 32, "SSID"},
        {Registers::WIFI_PASSWORD, 16, "Wi-Fi password"},
        {Registers::WIFI_MAC, 3, "Wi-Fi MAC"},
        {Registers::FE_MAC, 3, "FE MAC"},
        {Registers::LOGIN_BLOCK, 64, "login"},
        {Registers::CREDENTIAL_BLOCK, 64, "credential change"},
        {Registers::LOGOUT_COMMAND, 1, "logout"},
    };
    for (const Named &named : names) {
        if (named.first == first && named.count == count)
            return QString::fromLatin1(named.name);
    }
    return QString();
}

QString withName(const QString &text, const QString &name)
{
    return name.isEmpty() ? text : text + QStringLiteral(" (") + name + QLatin1Char(')');
}

QString signalName(char signal)
{
    switch (signal) {
    case Transfer::EOT:
        return QStringLiteral("EOT");
    case Transfer::ACK:
        return QStringLiteral("ACK");
    case Transfer::NAK:
        return QStringLiteral("NAK");
    case Transfer::CAN:
        return QStringLiteral("CAN");
    case Transfer::READY:
        return QStringLiteral("C (ready)");
    default:
        return QStringLiteral("byte 0x%1").arg(quint8(signal), 2, 16, QLatin1Char('0'));
    }
}

} // namespace ModuleNames

using namespace ModuleNames;

void ModuleModel::reply(const QByteArray &bytes, const QString &meaning, bool carriesCrc)
{
    if (repliesToDrop > 0) {
        --repliesToDrop;
        emit replyMade(bytes, meaning + QStringLiteral(" [dropped]"));
        return;
    }
    if (carriesCrc && repliesToCorrupt > 0 && bytes.size() >= 3) {
        --repliesToCorrupt;
        QByteArray corrupted = bytes;
        corrupted[corrupted.size() - 1] = char(corrupted.at(corrupted.size() - 1) ^ 0x5A);
        emit replyMade(corrupted, meaning + QStringLiteral(" [CRC corrupted]"));
        emit output(corrupted);
        return;
    }
    emit replyMade(bytes, meaning);
    emit output(bytes);
}

void ModuleModel::replyError(quint8 function, quint8 code)
{
    QByteArray answer;
    answer.append(char(Frame::SLAVE_ADDRESS));
    answer.append(char(function | ERROR_FLAG));
    answer.append(char(code));
    reply(answer,
          QStringLiteral("error 0x%1 (%2)").arg(code, 2, 16, QLatin1Char('0')).arg(errorName(code)),
          false);
}

void ModuleModel::replySignal(char signal)
{
    reply(QByteArray(1, signal), signalName(signal), false);
}

void ModuleModel::dropNextReply()
{
    ++repliesToDrop;
}

void ModuleModel::corruptNextReplies(int count)
{
    repliesToCorrupt = qMax(0, count);
}

void ModuleModel::answerNextWithError(quint8 code)
{
    errorPending = true;
    pendingError = code;
}

void ModuleModel::answerNextWithRaw(const QByteArray &raw)
{
    rawPending = true;
    pendingRaw = raw;
}

void ModuleModel::nakNextBlocks(int count)
{
    blocksToNak = qMax(0, count);
}

void ModuleModel::sendCanAfterBlock(int index)
{
    abortAfterIndex = index;
    abortSignal = Transfer::CAN;
}

void ModuleModel::sendEotAfterBlock(int index)
{
    abortAfterIndex = index;
    abortSignal = Transfer::EOT;
}

void ModuleModel::delayMacWriteReplies(int ms)
{
    macReplyDelayMs = qMax(0, ms);
}

// A MAC write's reply held back by delayMacWriteReplies(): true when it
// leaves later, through reply() and its faults.
bool ModuleModel::faultDelaysWriteReply(quint16 first, const QByteArray &bytes,
                                        const QString &meaning)
{
    const bool mac = first == Registers::WIFI_MAC || first == Registers::FE_MAC;
    if (!mac || macReplyDelayMs <= 0)
        return false;
    emit replyMade(QByteArray(),
                   QStringLiteral("%1 held back %2 ms").arg(meaning).arg(macReplyDelayMs));
    QTimer::singleShot(macReplyDelayMs, this,
                       [this, bytes, meaning] { reply(bytes, meaning, true); });
    return true;
}

void ModuleModel::clearFaults()
{
    macReplyDelayMs = 0;
    repliesToDrop = repliesToCorrupt = blocksToNak = 0;
    errorPending = rawPending = false;
    abortAfterIndex = -1;
    clearTransferFaults();
}

QString ModuleModel::describeRequest(const QByteArray &unit)
{
    if (unit.isEmpty())
        return QString();
    if (unit.size() == 1)
        return signalName(unit.at(0));
    if (unit.size() == Transfer::LARGE_BLOCK_LENGTH ||
        unit.size() == Transfer::SMALL_BLOCK_LENGTH) {
        if (transferBlockLength(unit.at(0)) == unit.size())
            return QStringLiteral("block %1 (%2 data bytes)")
                .arg(quint8(unit.at(1)))
                .arg(unit.size() - Transfer::BLOCK_OVERHEAD);
    }
    const quint8 function = quint8(unit.at(1));
    if ((function == Frame::FUNCTION_READ || function == Frame::FUNCTION_WRITE) &&
        unit.size() >= 6) {
        const quint16 first = Bytes::read16(unit, 2);
        const quint16 count = Bytes::read16(unit, 4);
        const QString verb =
            function == Frame::FUNCTION_READ ? QStringLiteral("read") : QStringLiteral("write");
        return withName(
            QStringLiteral("%1 0x%2 x%3").arg(verb).arg(first, 4, 16, QLatin1Char('0')).arg(count),
            registerBlockName(first, count));
    }
    if (function == FUNCTION_TRANSFER && unit.size() >= 3) {
        LoadingAnnouncement announced;
        if (parseStartLoadingRequest(unit, &announced))
            return QStringLiteral("start loading %1, %2 bytes, digest %3")
                .arg(QString::fromLocal8Bit(announced.encodedName))
                .arg(announced.size)
                .arg(QString::fromLatin1(announced.digest));
        if (unit == buildLogRequest())
            return QStringLiteral("log request");
        return QStringLiteral("transfer request kind 0x%1")
            .arg(quint8(unit.at(2)), 2, 16, QLatin1Char('0'));
    }
    return QStringLiteral("function 0x%1 (unknown)").arg(function, 2, 16, QLatin1Char('0'));
}
