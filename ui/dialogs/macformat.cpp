#include "ui/dialogs/macformat.h"

#include <QStringList>

namespace
{

constexpr int BARE_MAC_LENGTH = 12;

// Two characters from each of the positions 0, stride, 2 * stride, ...
QString joinPairsAtStride(const QString &text, int stride)
{
    QStringList pairs;
    for (int position = 0; position < text.size(); position += stride)
        pairs.append(text.mid(position, 2));
    return pairs.join(QLatin1Char(':'));
}

} // namespace

QString formatStoredMac(const QString &macAddr)
{
    if (macAddr.size() < BARE_MAC_LENGTH)
        return QString();
    if (macAddr.size() == BARE_MAC_LENGTH)
        return joinPairsAtStride(macAddr, 2);
    return joinPairsAtStride(macAddr, 3);
}
