// The session engine: the firmware upgrade, the stop exchange and the log
// pull.
#include "session/modulesession.h"

#include "base/logging.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QIODevice>

#include <limits>

namespace
{

// Waits that end by their condition only, never by a byte count.
constexpr int NO_COUNT = std::numeric_limits<int>::max();
// One wait for an end signal; the link looks at its flag meanwhile.
constexpr int END_SIGNAL_LOOK_MS = 1000;

// The module's lone EOT or CAN: a read piece of that one byte.
char endSignalIn(const ReadPieces &pieces)
{
    for (const QByteArray &piece : pieces) {
        if (piece.size() == 1 && (piece.at(0) == Transfer::EOT || piece.at(0) == Transfer::CAN))
            return piece.at(0);
    }
    return 0;
}

// A log pass is over once a whole block is in or the module's end signal.
bool passComplete(const ReadPieces &pieces)
{
    if (endSignalIn(pieces))
        return true;
    const int length = pieces.isEmpty() ? 0 : transferBlockLength(pieces.first().at(0));
    return length > 0 && pieceBytes(pieces) >= length;
}

// The line has settled after a cancel once a lone signal or a whole block
// is in: the answer to a block under way, or the module's block under way.
bool settledAfterCancel(const ReadPieces &pieces)
{
    if (pieces.isEmpty())
        return false;
    return pieces.last().size() == 1 || passComplete(pieces);
}

// A whole log reply: 6 + N bytes (N at offset 3) whose CRC holds.
bool wholeLogReply(const ReadPieces &pieces)
{
    const QByteArray reply = joinPieces(pieces);
    return reply.size() > Transfer::TRANSFER_HEADER &&
           reply.size() == Transfer::TRANSFER_HEADER + 2 + quint8(reply.at(3)) &&
           checkReplyCrc(reply);
}

UpgradeResult upgradeResult(UpgradeOutcome outcome, UpgradeStage stage)
{
    UpgradeResult result;
    result.outcome = outcome;
    result.stage = stage;
    return result;
}

// The line went away during `stage`, whose time-out is `outcome`.
UpgradeResult lostResult(UpgradeOutcome outcome, UpgradeStage stage)
{
    UpgradeResult result = upgradeResult(outcome, stage);
    result.linkLost = true;
    return result;
}

} // namespace

bool UpgradeResult::needsStop() const
{
    if (stage == UpgradeStage::Start || linkLost)
        return false;
    switch (outcome) {
    case UpgradeOutcome::BlockTimedOut:
    case UpgradeOutcome::TooManyResends:
    case UpgradeOutcome::Unrelated:
    case UpgradeOutcome::ErrorReply:
    case UpgradeOutcome::Cancelled:
        return true;
    default:
        return false;
    }
}

// Writes `frame` to an empty receive side and waits for its first bytes;
// the cancel flag ends the wait when `cancellable`.
ReadPieces ModuleSession::firstPieces(const QByteArray &frame, int limitMs, bool cancellable,
                                      bool *cancelled)
{
    link->take();
    link->write(frame);
    LinkWait wait;
    wait.cancel = cancellable ? cancel : nullptr;
    wait.limitMs = limitMs;
    *cancelled = await(wait) == WaitEnd::Cancelled;
    return link->take();
}

// Lets the unit under way on the line end before a cancelled step returns,
// so that its rest is not taken for the answer to the stop; it is dropped.
// `taken` are the pieces the step took since its last write.
void ModuleSession::settleAfterCancel(const ReadPieces &taken)
{
    LinkWait wait;
    wait.moreThan = NO_COUNT;
    wait.until = [taken](const ReadPieces &pieces) { return settledAfterCancel(taken + pieces); };
    wait.limitMs = Session::CANCEL_SETTLE_MS;
    await(wait);
    link->take();
}

UpgradeResult ModuleSession::cancelledAt(UpgradeStage stage, const ReadPieces &taken)
{
    settleAfterCancel(taken);
    return upgradeResult(UpgradeOutcome::Cancelled, stage);
}

// Answers the module's end signal with ACK.
void ModuleSession::acknowledgeEnd()
{
    link->take();
    link->write(QByteArray(1, Transfer::ACK));
}

char ModuleSession::awaitEndSignal(const CancelFlag &until)
{
    LinkWait wait;
    wait.cancel = &until;
    wait.limitMs = END_SIGNAL_LOOK_MS;
    for (;;) {
        const WaitEnd end = await(wait);
        if (end == WaitEnd::Cancelled || end == WaitEnd::LinkLost)
            return 0;
        const ReadPieces pieces = link->take();
        if (const char signal = pieces.isEmpty() ? 0 : endSignalIn({pieces.last()})) {
            acknowledgeEnd();
            return signal;
        }
    }
}

UpgradeResult ModuleSession::startLoading(const QString &path, quint32 size)
{
    return announce(path, size, fileDigest(path, upgradeDigestFor(version)));
}

UpgradeResult ModuleSession::startLoading(const FirmwareImage &image)
{
    return announce(image.path, quint32(image.size), image.digest(upgradeDigestFor(version)));
}

UpgradeResult ModuleSession::announce(const QString &path, quint32 size, const QByteArray &digest)
{
    if (digest.isEmpty()) {
        UpgradeResult result = upgradeResult(UpgradeOutcome::FileRefused, UpgradeStage::Start);
        result.refusal = FirmwareRefusal::Unreadable;
        return result;
    }
    const QByteArray request =
        buildStartLoadingRequest(announcedFileName(path), size, digest.toHex());
    qCDebug(lcTransfer).noquote() << QStringLiteral("启动加载请求：") << hexUpper(request);
    bool cancelled = false;
    const ReadPieces pieces = firstPieces(request, Upgrade::START_TIMEOUT_MS, false, &cancelled);
    if (lineLost)
        return lostResult(UpgradeOutcome::NotReady, UpgradeStage::Start);
    const QByteArray reply = joinPieces(pieces);
    UpgradeResult result = upgradeResult(UpgradeOutcome::StartRefused, UpgradeStage::Start);
    switch (judgeStartReply(reply)) {
    case StartReply::Ready:
        result.outcome = UpgradeOutcome::Upgraded; // ready: the blocks may follow
        break;
    case StartReply::TimedOut:
        result.outcome = UpgradeOutcome::NotReady;
        break;
    case StartReply::ErrorReply:
        result.outcome = UpgradeOutcome::ErrorReply;
        result.errorCode = errorCodeOf(reply);
        break;
    case StartReply::Refused:
        break;
    }
    return result;
}

UpgradeResult ModuleSession::sendImage(const QList<QByteArray> &blocks)
{
    UpgradeResult result = sendBlocks(blocks);
    if (result.outcome != UpgradeOutcome::Upgraded)
        return result;
    qint64 bytes = 0;
    for (const QByteArray &block : blocks)
        bytes += block.size() - Transfer::BLOCK_OVERHEAD;
    observer->imageSent(bytes);
    UpgradeResult verdict = awaitVerdict();
    verdict.blocksAcknowledged = result.blocksAcknowledged;
    return verdict;
}

// Every block once, resent after each NAK while resends are left. Upgraded
// here means every block was acknowledged.
UpgradeResult ModuleSession::sendBlocks(const QList<QByteArray> &blocks)
{
    UpgradeResult result = upgradeResult(UpgradeOutcome::Upgraded, UpgradeStage::Blocks);
    qint64 acknowledged = 0;
    int resends = 0;
    for (int index = 0; index < blocks.size();) {
        bool cancelled = false;
        link->take();
        link->write(blocks.at(index));
        observer->blockSent(index, blocks.size(), resends, acknowledged);
        LinkWait wait;
        wait.cancel = cancel;
        wait.limitMs = Upgrade::BLOCK_TIMEOUT_MS;
        cancelled = await(wait) == WaitEnd::Cancelled;
        const ReadPieces pieces = link->take();
        if (cancelled || (cancel && cancel->isSet()))
            return cancelledAt(UpgradeStage::Blocks, pieces);
        if (lineLost) {
            UpgradeResult lost = lostResult(UpgradeOutcome::BlockTimedOut, UpgradeStage::Blocks);
            lost.blocksAcknowledged = result.blocksAcknowledged;
            return lost;
        }
        if (const char end = endSignalIn(pieces)) {
            acknowledgeEnd();
            result.outcome = UpgradeOutcome::EndedByModule;
            result.endSignal = end;
            return result;
        }
        const QByteArray reply = joinPieces(pieces);
        switch (judgeBlockReply(reply, resends)) {
        case BlockStep::Acknowledged:
            acknowledged += blocks.at(index).size() - Transfer::BLOCK_OVERHEAD;
            result.blocksAcknowledged = ++index;
            resends = 0;
            continue;
        case BlockStep::Resend:
            ++resends;
            continue;
        case BlockStep::TimedOut:
            result.outcome = UpgradeOutcome::BlockTimedOut;
            break;
        case BlockStep::TooManyResends:
            result.outcome = UpgradeOutcome::TooManyResends;
            break;
        case BlockStep::ErrorReply:
            result.outcome = UpgradeOutcome::ErrorReply;
            result.errorCode = errorCodeOf(reply);
            break;
        case BlockStep::Unrelated:
            result.outcome = UpgradeOutcome::Unrelated;
            break;
        }
        return result;
    }
    return result;
}

UpgradeResult ModuleSession::awaitVerdict()
{
    bool cancelled = false;
    const ReadPieces pieces =
        firstPieces(QByteArray(1, Transfer::EOT), Upgrade::VERDICT_TIMEOUT_MS, true, &cancelled);
    if (cancelled || (cancel && cancel->isSet()))
        return cancelledAt(UpgradeStage::Verdict, pieces);
    if (lineLost)
        return lostResult(UpgradeOutcome::VerdictTimedOut, UpgradeStage::Verdict);
    UpgradeResult result = upgradeResult(UpgradeOutcome::Rejected, UpgradeStage::Verdict);
    if (const char end = endSignalIn(pieces)) {
        acknowledgeEnd();
        result.outcome = UpgradeOutcome::EndedByModule;
        result.endSignal = end;
        return result;
    }
    const QByteArray reply = joinPieces(pieces);
    switch (judgeVerdictReply(reply)) {
    case Verdict::TimedOut:
        result.outcome = UpgradeOutcome::VerdictTimedOut;
        break;
    case Verdict::Accepted:
        result.outcome = UpgradeOutcome::Upgraded;
        break;
    case Verdict::ErrorReply:
        result.outcome = UpgradeOutcome::ErrorReply;
        result.errorCode = errorCodeOf(reply);
        break;
    case Verdict::Rejected:
        break;
    }
    return result;
}

UpgradeResult ModuleSession::upgrade(const QString &path, StopResult *stop)
{
    return upgrade(FirmwareImage::load(path), stop);
}

UpgradeResult ModuleSession::upgrade(const FirmwareImage &image, StopResult *stop)
{
    UpgradeResult result = upgradeResult(UpgradeOutcome::FileRefused, UpgradeStage::Start);
    result.refusal = image.refusal;
    if (!image.isUsable())
        return result;
    result = startLoading(image);
    if (result.outcome == UpgradeOutcome::Upgraded)
        result = sendImage(image.blocks);
    if (result.needsStop()) {
        const StopResult stopped = stopTransfer();
        if (stop)
            *stop = stopped;
    }
    return result;
}

StopResult ModuleSession::stopTransfer()
{
    bool cancelled = false;
    const QByteArray reply = joinPieces(
        firstPieces(QByteArray(1, Transfer::CAN), Upgrade::STOP_TIMEOUT_MS, false, &cancelled));
    StopResult result;
    result.linkLost = lineLost;
    switch (judgeStopReply(reply)) {
    case StopReply::Acknowledged:
        result.outcome = StopOutcome::Stopped;
        break;
    case StopReply::TimedOut:
        result.outcome = StopOutcome::TimedOut;
        break;
    case StopReply::ErrorReply:
        result.outcome = StopOutcome::ErrorReply;
        result.errorCode = errorCodeOf(reply);
        break;
    case StopReply::Other:
        result.outcome = StopOutcome::Other;
        break;
    }
    return result;
}

LogRequestResult ModuleSession::requestLog(bool waitInFull)
{
    link->take();
    link->write(buildLogRequest());
    LinkWait wait;
    wait.moreThan = NO_COUNT;
    if (!waitInFull)
        wait.until = wholeLogReply;
    wait.limitMs = LogUpload::REQUEST_WAIT_MS;
    await(wait);
    const QByteArray reply = joinPieces(link->take());
    qCDebug(lcTransfer).noquote() << QStringLiteral("日志请求应答：") << hexUpper(reply);
    LogRequestResult result;
    if (lineLost) {
        result.linkLost = true;
        return result; // TimedOut
    }
    result.outcome = judgeLogRequestReply(reply, &result.announced);
    if (result.outcome == LogRequestReply::ErrorReply)
        result.errorCode = errorCodeOf(reply);
    return result;
}

// Waits until the line has been quiet for LOG_QUIET_MS, so that the rest of
// a broken block is not taken for the next one. The module's end signal or
// the cancel flag end the wait early; the pieces collected are returned.
ReadPieces ModuleSession::drainUntilQuiet(ReadPieces pieces, bool *cancelled)
{
    for (;;) {
        LinkWait wait;
        wait.moreThan = 0;
        wait.cancel = cancel;
        wait.limitMs = Session::LOG_QUIET_MS;
        const WaitEnd end = await(wait);
        const ReadPieces more = link->take();
        pieces += more;
        *cancelled = end == WaitEnd::Cancelled;
        if (end != WaitEnd::Enough || endSignalIn(more))
            return pieces;
    }
}

LogPullResult ModuleSession::pullLog(const LogAnnouncement &announced, QIODevice *sink,
                                     int maxFailures)
{
    LogReceiver receiver(announced.size);
    QCryptographicHash sha256(QCryptographicHash::Sha256);
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    LogPullResult result;
    int failures = 0;
    link->take();
    link->write(QByteArray(1, Transfer::READY));
    for (;;) {
        LinkWait wait;
        wait.moreThan = NO_COUNT;
        wait.until = passComplete;
        wait.cancel = cancel;
        wait.limitMs = Session::LOG_PASS_MS;
        bool cancelled = await(wait) == WaitEnd::Cancelled;
        ReadPieces pieces = link->take();
        LogReceiver::Result taken;
        if (!cancelled && !endSignalIn(pieces) && !pieces.isEmpty()) {
            taken = receiver.take(joinPieces(pieces));
            if (taken.outcome != LogReceiver::Outcome::Written)
                pieces = drainUntilQuiet(pieces, &cancelled);
        }
        if (cancelled || (cancel && cancel->isSet())) {
            settleAfterCancel(pieces);
            result.outcome = LogPullOutcome::Cancelled;
            return result;
        }
        if (lineLost) {
            result.outcome = LogPullOutcome::AbortedByModule;
            result.linkLost = true;
            return result;
        }
        if (const char end = endSignalIn(pieces)) {
            acknowledgeEnd();
            const bool matches =
                logDigestMatches(announced.digest, sha256.result().toHex(), sha1.result().toHex());
            result.outcome = end == Transfer::CAN ? LogPullOutcome::AbortedByModule
                             : matches            ? LogPullOutcome::Complete
                                                  : LogPullOutcome::DigestMismatch;
            return result;
        }
        if (taken.outcome == LogReceiver::Outcome::Written) {
            failures = 0;
            sink->write(taken.toWrite);
            sha256.addData(taken.toWrite);
            sha1.addData(taken.toWrite);
            result.written += taken.toWrite.size();
            ++result.blocks;
            link->write(QByteArray(1, Transfer::ACK));
            observer->logBlockWritten(result.written, taken.progress);
            continue;
        }
        ++failures;
        if (pieces.isEmpty())
            observer->logPassEmpty();
        else
            observer->logBlockRefused(failures);
        if (maxFailures >= 0 && failures >= maxFailures) {
            result.outcome = LogPullOutcome::TooManyFailures;
            return result;
        }
        link->take();
        link->write(QByteArray(1, Transfer::NAK));
    }
}
