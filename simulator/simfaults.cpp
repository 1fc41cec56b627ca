#include "simulator/simfaults.h"

#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"

#include <QByteArray>

namespace
{

// Decimal or 0x-prefixed hexadecimal, not negative.
bool parseCount(const QString &text, int *value)
{
    bool ok = false;
    const int parsed = text.trimmed().toInt(&ok, 0);
    if (!ok || parsed < 0)
        return false;
    *value = parsed;
    return true;
}

bool parseHexBytes(const QString &text, QByteArray *bytes)
{
    QString digits = text;
    digits.remove(QLatin1Char(' '));
    if (digits.isEmpty() || digits.size() % 2 != 0)
        return false;
    for (const QChar c : digits) {
        if (!c.isDigit() && !QStringLiteral("abcdefABCDEF").contains(c))
            return false;
    }
    *bytes = QByteArray::fromHex(digits.toLatin1());
    return true;
}

} // namespace

QString faultHelpText()
{
    return QStringLiteral(
        "Faults (--fault SPEC, repeatable):\n"
        "  drop-next       lose the next reply\n"
        "  corrupt-crc:N   spoil the CRC of the next N replies that carry one\n"
        "  error:CODE      refuse the next request with an error code (e.g. 0x12)\n"
        "  nak:N           upgrade: NAK the next N good blocks\n"
        "  can-after:K     upgrade: CAN instead of the ACK of block K;\n"
        "                  log upload: CAN instead of the block after block K\n"
        "  eot-after:K     the same with a lone EOT\n"
        "  raw:HEX         answer the next request with these bytes\n"
        "  chunk:N         deliver replies in pieces of N bytes, 1 ms apart\n"
        "  delay:MS        delay every reply by MS milliseconds");
}

bool applyFault(const QString &spec, ModuleModel *model, PtyLink *link, QString *problem)
{
    const int colon = spec.indexOf(QLatin1Char(':'));
    const QString kind = (colon < 0 ? spec : spec.left(colon)).trimmed();
    const QString value = colon < 0 ? QString() : spec.mid(colon + 1);
    int number = 0;
    QByteArray raw;
    if (kind == QLatin1String("drop-next") && colon < 0) {
        model->dropNextReply();
    } else if (kind == QLatin1String("corrupt-crc") && parseCount(value, &number)) {
        model->corruptNextReplies(number);
    } else if (kind == QLatin1String("error") && parseCount(value, &number) && number <= 0xFF) {
        model->answerNextWithError(quint8(number));
    } else if (kind == QLatin1String("nak") && parseCount(value, &number)) {
        model->nakNextBlocks(number);
    } else if (kind == QLatin1String("can-after") && parseCount(value, &number)) {
        model->sendCanAfterBlock(number);
    } else if (kind == QLatin1String("eot-after") && parseCount(value, &number)) {
        model->sendEotAfterBlock(number);
    } else if (kind == QLatin1String("raw") && parseHexBytes(value, &raw)) {
        model->answerNextWithRaw(raw);
    } else if (kind == QLatin1String("chunk") && parseCount(value, &number) && link) {
        link->setReplyChunking(number);
    } else if (kind == QLatin1String("delay") && parseCount(value, &number) && link) {
        link->setReplyDelayMs(number);
    } else {
        *problem = QStringLiteral("unknown or malformed fault \"%1\"").arg(spec);
        return false;
    }
    return true;
}
