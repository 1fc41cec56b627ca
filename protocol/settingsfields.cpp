#include "protocol/settingsfields.h"

#include "protocol/frame.h"

namespace
{

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

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
    QByteArray digits = encodeLocalText(mac);
    digits.replace(':', QByteArray());
    if (digits.size() != 2 * Registers::MAC_FIELD_BYTES)
        return QByteArray();
    for (char c : digits) {
        if (!isHexDigit(c))
            return QByteArray();
    }
    return QByteArray::fromHex(digits);
}
