#include "protocol/settingsfields.h"

#include "base/macaddress.h"
#include "protocol/frame.h"

#include <QtEndian>

QByteArray encodeLocalText(const QString &text)
{
    return text.toLocal8Bit();
}

bool fitsTextField(const QString &text, int width)
{
    return encodeLocalText(text).size() <= width;
}

bool ssidFits(const QString &ssid)
{
    return fitsTextField(ssid, SSID_MAX_BYTES);
}

QByteArray macFieldFromText(const QString &mac)
{
    QString digits = mac;
    digits.remove(QLatin1Char(':'));
    quint64 value = 0;
    if (!parseMacDigits(digits, value))
        return QByteArray();
    QByteArray field(sizeof(value), '\0');
    qToBigEndian(value, field.data());
    return field.right(Registers::MAC_FIELD_BYTES);
}
