#include "protocol/deviceinfo.h"

#include "protocol/frame.h"

#include <QCoreApplication>
#include <QStringList>

namespace
{

constexpr int VERSION_REPLY_BYTES = 9;
constexpr int UART_REPLY_BYTES = 15;
constexpr int WIFI_REPLY_BYTES = 121;
constexpr int FE_REPLY_BYTES = 19;
constexpr int SSID_SHOWN_BYTES = 16;

quint16 read16(const QByteArray &bytes, int offset)
{
    return static_cast<quint16>((quint8(bytes.at(offset)) << 8) | quint8(bytes.at(offset + 1)));
}

quint32 read32(const QByteArray &bytes, int offset)
{
    return (quint32(read16(bytes, offset)) << 16) | read16(bytes, offset + 2);
}

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
    return QString::fromLatin1(bytes.toHex(':').toUpper());
}

QString decodeModuleText(const QByteArray &field)
{
    const int end = field.indexOf('\0');
    return QString::fromUtf8(end < 0 ? field : field.left(end)).trimmed();
}

QString stopBitText(quint16 code)
{
    return code == 2 ? QStringLiteral("1.5") : QString::number(code);
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
    info->ssid = decodeModuleText(reply.mid(3, SSID_SHOWN_BYTES));
    info->channel = read16(reply, 67);
    info->bandWidth = read16(reply, 69);
    info->encryptionCode = read16(reply, 71);
    info->password = decodeModuleText(reply.mid(73, Registers::WIFI_PASSWORD_FIELD_BYTES));
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
