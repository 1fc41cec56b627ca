// The module stand-in's faults of the two file transfers: answers put in
// place of the module's own for a chosen block, for EOT and for CAN, a log
// block that arrives in two pieces far apart, and a log digest in upper case.
#include "simulator/modulemodel.h"

#include <QTimer>

void ModuleModel::answerBlockWith(int index, const QByteArray &raw)
{
    faultBlockIndex = index;
    faultBlockReply = raw;
}

void ModuleModel::answerEotWith(const QByteArray &raw)
{
    eotFault = true;
    eotReply = raw;
}

void ModuleModel::ignoreCancels(int count)
{
    cancelsToIgnore = qMax(0, count);
}

void ModuleModel::splitLogBlock(int index, int gapMs)
{
    splitBlockIndex = index;
    splitGapMs = qMax(0, gapMs);
}

void ModuleModel::announceLogDigestUpperCase(bool upper)
{
    upperCaseLogDigest = upper;
}

void ModuleModel::clearTransferFaults()
{
    faultBlockIndex = -1;
    eotFault = false;
    cancelsToIgnore = 0;
    splitBlockIndex = -1;
    upperCaseLogDigest = false;
}

// The block in hand is the one at index blocksStored of the file.
bool ModuleModel::transferFaultAnswersBlock()
{
    if (faultBlockIndex < 0 || blocksStored != faultBlockIndex)
        return false;
    if (faultBlockReply.isEmpty())
        emit replyMade(QByteArray(), QStringLiteral("block %1 left unanswered").arg(blocksStored));
    else
        reply(faultBlockReply, QStringLiteral("injected answer to block %1").arg(blocksStored),
              false);
    return true;
}

bool ModuleModel::transferFaultAnswersEot()
{
    if (!eotFault)
        return false;
    eotFault = false;
    if (eotReply.isEmpty()) {
        emit replyMade(QByteArray(), QStringLiteral("EOT left unanswered"));
        return true;
    }
    enterCommandMode();
    reply(eotReply, QStringLiteral("injected answer to EOT"), false);
    return true;
}

bool ModuleModel::transferFaultSwallowsCancel()
{
    if (cancelsToIgnore <= 0)
        return false;
    --cancelsToIgnore;
    emit replyMade(QByteArray(), QStringLiteral("CAN left unanswered"));
    return true;
}

bool ModuleModel::transferFaultSendsLogBlock(const QByteArray &block)
{
    if (splitBlockIndex < 0 || logIndex != splitBlockIndex)
        return false;
    splitBlockIndex = -1; // a resend goes out whole
    const int half = block.size() / 2;
    const QByteArray second = block.mid(half);
    reply(block.left(half), QStringLiteral("log block %1, first half").arg(logIndex), false);
    QTimer::singleShot(splitGapMs, this, [this, second] {
        reply(second, QStringLiteral("log block, second half"), false);
    });
    return true;
}

QByteArray ModuleModel::announcedLogDigest(const QByteArray &digest) const
{
    return upperCaseLogDigest ? digest.toUpper() : digest;
}
