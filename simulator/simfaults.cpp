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

// "K:REST": a block index and what follows it.
bool parseIndexed(const QString &value, int *index, QString *rest)
{
    const int colon = value.indexOf(QLatin1Char(':'));
    if (colon < 0 || !parseCount(value.left(colon), index))
        return false;
    *rest = value.mid(colon + 1);
    return true;
}

// The faults of the upgrade and log paths; false when `kind` is none of them
// or its value does not parse.
bool applyTransferFault(const QString &kind, const QString &value, bool hasValue,
                        ModuleModel *model)
{
    int number = 0;
    int gap = 0;
    QString rest;
    QByteArray raw;
    if (kind == QLatin1String("block-reply") && parseIndexed(value, &number, &rest) &&
        parseHexBytes(rest, &raw))
        model->answerBlockWith(number, raw);
    else if (kind == QLatin1String("block-mute") && parseCount(value, &number))
        model->answerBlockWith(number, QByteArray());
    else if (kind == QLatin1String("nak-block") && parseCount(value, &number))
        model->answerBlockWith(number, QByteArray(1, Transfer::NAK));
    else if (kind == QLatin1String("eot-reply") && parseHexBytes(value, &raw))
        model->answerEotWith(raw);
    else if (kind == QLatin1String("eot-mute") && !hasValue)
        model->answerEotWith(QByteArray());
    else if (kind == QLatin1String("can-mute") && parseCount(value, &number))
        model->ignoreCancels(number);
    else if (kind == QLatin1String("log-split") && parseIndexed(value, &number, &rest) &&
             parseCount(rest, &gap))
        model->splitLogBlock(number, gap);
    else if (kind == QLatin1String("log-digest-upper") && !hasValue)
        model->announceLogDigestUpperCase(true);
    else
        return false;
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
        "  delay:MS        delay every reply by MS milliseconds\n"
        "  mac-write-delay:MS  answer every Wi-Fi or FE MAC write MS milliseconds late;\n"
        "                  the module takes the address at once\n"
        "  block-reply:K:HEX  upgrade: answer block K with these bytes, every time\n"
        "  block-mute:K    upgrade: leave block K unanswered\n"
        "  nak-block:K     upgrade: NAK block K every time it comes\n"
        "  eot-reply:HEX   upgrade: answer the EOT with these bytes\n"
        "  eot-mute        upgrade: leave the EOT unanswered\n"
        "  can-mute:N      leave the next N CAN signals unanswered\n"
        "  log-split:K:MS  log upload: send block K in two halves, MS apart\n"
        "  log-digest-upper  log upload: announce the digest in upper-case hex\n"
        "  (a hostile log name is set with --log-name, e.g. ../escape.log)");
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
    } else if (kind == QLatin1String("mac-write-delay") && parseCount(value, &number)) {
        model->delayMacWriteReplies(number);
    } else if (kind == QLatin1String("raw") && parseHexBytes(value, &raw)) {
        model->answerNextWithRaw(raw);
    } else if (applyTransferFault(kind, value, colon >= 0, model)) {
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
