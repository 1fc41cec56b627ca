#include "protocol/deviceinfo.h"

#include "base/bytes.h"
#include "base/macaddress.h"
#include "protocol/frame.h"

#include <QCoreApplication>
#include <QStringList>

namespace
{

constexpr int VERSION_REPLY_BYTES = 9;
constexpr int UART_REPLY_BYTES = 15;
constexpr int WIFI_REPLY_BYTES = 121;
constexpr int FE_REPLY_BYTES = 19;
constexpr int WIFI_PASSWORD_OFFSET = 73;

using Bytes::read16;
using Bytes::read32;

QString translated(const char *text)
{
    return QCoreApplication::translate("DeviceInfo", text);
}

} // namespace

QString formatVersion(quint16 number)
{
    const QString digits = QString::number(number);
    QStringList parts;
    for (const QChar digit : digits)
        parts << QString(digit);
    return QLatin1Char('V') + parts.join(QLatin1Char('.'));
}

QString formatDottedQuad(const QByteArray &bytes)
{
    QStringList parts;
    for (const char byte : bytes)
        parts << QString::number(quint8(byte));
    return parts.join(QLatin1Char('.'));
}

QString formatMacColons(const QByteArray &bytes)
{
    return toColonMac(QString::fromLatin1(bytes.toHex().toUpper()));
}

QString decodeModuleText(const QByteArray &field)
{
    return QString::fromUtf8(Bytes::upToFirstZero(field)).trimmed();
}

QString stopBitText(quint16 code)
{
    return code == 2 ? QStringLiteral("1.5") : QString::number(code);
}

QString parityKey(quint16 code)
{
    static const char *const KEYS[] = {"none", "odd", "even", "mark", "space"};
    return code < 5 ? QString::fromLatin1(KEYS[code]) : QString();
}

std::optional<QString> parityText(quint16 code)
{
    switch (code) {
    case 0:
        return translated(QT_TRANSLATE_NOOP("DeviceInfo", "无校验"));
    case 1:
        return translated(QT_TRANSLATE_NOOP("DeviceInfo", "奇校验"));
    case 2:
        return translated(QT_TRANSLATE_NOOP("DeviceInfo", "偶校验"));
    case 3:
        return QStringLiteral("Mark");
    case 4:
        return QStringLiteral("Space");
    default:
        return std::nullopt;
    }
}

std::optional<QString> encryptionText(quint16 code)
{
    switch (code) {
    case 0:
        return QStringLiteral("WEP");
    case 1:
        return QStringLiteral("WPA-PSK");
    case 2:
        return QStringLiteral("WPA2-PSK");
    default:
        return std::nullopt;
    }
}

bool decodeVersionReply(const QByteArray &reply, VersionInfo *info)
{
    if (reply.size() < VERSION_REPLY_BYTES)
        return false;
    info->software = read16(reply, 3);
    info->hardware = read16(reply, 5);
    return true;
}

bool decodeUartReply(const QByteArray &reply, UartInfo *info)
{
    if (reply.size() < UART_REPLY_BYTES)
        return false;
    info->baudRate = read32(reply, 3);
    info->dataBits = read16(reply, 7);
    info->stopBitCode = read16(reply, 9);
    info->parityCode = read16(reply, 11);
    return true;
}

bool decodeWifiReply(const QByteArray &reply, WifiInfo *info)
{
    if (reply.size() < WIFI_REPLY_BYTES)
        return false;
    // The whole name, blanks included, so that it can be compared with a new one.
    info->ssid = QString::fromUtf8(Bytes::upToFirstZero(reply.mid(3, Registers::SSID_FIELD_BYTES)));
    info->channel = read16(reply, 67);
    info->bandWidth = read16(reply, 69);
    info->encryptionCode = read16(reply, 71);
    info->password =
        decodeModuleText(reply.mid(WIFI_PASSWORD_OFFSET, Registers::WIFI_PASSWORD_FIELD_BYTES));
    info->ip = reply.mid(105, 4);
    info->mask = reply.mid(109, 4);
    info->mac = reply.mid(113, Registers::MAC_FIELD_BYTES);
    return true;
}

bool decodeFeReply(const QByteArray &reply, FeInfo *info)
{
    if (reply.size() < FE_REPLY_BYTES)
        return false;
    info->ip = reply.mid(3, 4);
    info->mask = reply.mid(7, 4);
    info->mac = reply.mid(11, Registers::MAC_FIELD_BYTES);
    return true;
}

QString replyTraceHex(SessionRequest request, const QByteArray &reply)
{
    QString hex = hexUpper(reply);
    if (request != SessionRequest::ReadWifi)
        return hex;
    const int end = qMin(reply.size(), WIFI_PASSWORD_OFFSET + Registers::WIFI_PASSWORD_FIELD_BYTES);
    for (int i = WIFI_PASSWORD_OFFSET; i < end; ++i)
        hex.replace(3 * i, 2, QStringLiteral("**"));
    return hex;
}
