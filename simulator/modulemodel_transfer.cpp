// The module simulator's side of the two file transfers: taking a firmware
// image block by block, and serving the log file under the receiver's
// acknowledgements.
#include "simulator/modulemodel.h"

#include "protocol/frame.h"

void ModuleModel::handleTransferRequest(const QByteArray &frame)
{
    const quint8 kind = quint8(frame.at(2));
    if (kind == Transfer::KIND_START_LOADING)
        startUpgrade(frame);
    else if (kind == Transfer::KIND_LOG)
        startLogUpload(frame);
    else
        replyError(Transfer::FUNCTION_TRANSFER, ErrorCode::ILLEGAL_VALUE);
}

void ModuleModel::startUpgrade(const QByteArray &frame)
{
    if (!sessionAllows(Transfer::FUNCTION_TRANSFER, true))
        return;
    LoadingAnnouncement parsed;
    if (!parseStartLoadingRequest(frame, &parsed) || parsed.size == 0 ||
        parsed.size > quint32(Transfer::MAX_FIRMWARE_SIZE)) {
        replyError(Transfer::FUNCTION_TRANSFER, ErrorCode::ILLEGAL_VALUE);
        return;
    }
    announcement = parsed;
    image.clear();
    image.reserve(int(parsed.size));
    imageVerified = false;
    expectedBlockNumber = 0;
    blocksStored = 0;
    currentMode = Mode::ReceivingUpgrade;
    replySignal(Transfer::READY);
}

// Good block in sequence: stored and ACKed. The block before it again (its
// ACK was lost): ACKed, not stored twice. Anything else: NAK.
void ModuleModel::handleUpgradeBlock(const QByteArray &block)
{
    quint8 number = 0;
    QByteArray data;
    if (!parseTransferBlock(block, &number, &data)) {
        replySignal(Transfer::NAK);
        return;
    }
    if (transferFaultAnswersBlock())
        return;
    if (blocksToNak > 0) {
        --blocksToNak;
        replySignal(Transfer::NAK);
        return;
    }
    if (number != expectedBlockNumber) {
        const bool repeat = blocksStored > 0 && number == quint8(expectedBlockNumber - 1);
        replySignal(repeat ? Transfer::ACK : Transfer::NAK);
        return;
    }
    if (quint32(image.size()) >= announcement.size) {
        replySignal(Transfer::NAK); // more than was announced
        return;
    }
    image.append(data);
    ++expectedBlockNumber;
    const int index = blocksStored++;
    if (index == abortAfterIndex) {
        const char signal = abortSignal;
        abortAfterIndex = -1;
        enterCommandMode();
        replySignal(signal);
        return;
    }
    replySignal(Transfer::ACK);
}

// The image, cut to the announced size, must have that size and the
// announced digest (lower-case hex, SHA-1 or SHA-256 by software version).
void ModuleModel::finishUpgrade()
{
    if (transferFaultAnswersEot())
        return;
    const bool complete = quint32(image.size()) >= announcement.size;
    image.truncate(int(announcement.size));
    const QByteArray digest = digestHex(image, transferDigestFor(settings.softwareVersion));
    imageVerified = complete && digest == announcement.digest;
    enterCommandMode();
    replySignal(imageVerified ? Transfer::ACK : Transfer::NAK);
}

void ModuleModel::startLogUpload(const QByteArray &frame)
{
    if (frame != buildLogRequest()) {
        replyError(Transfer::FUNCTION_TRANSFER, ErrorCode::ILLEGAL_VALUE);
        return;
    }
    if (!sessionAllows(Transfer::FUNCTION_TRANSFER, true))
        return;
    logBlocks = cutIntoBlocks(logFile);
    logIndex = 0;
    logStep = LogStep::AwaitStart;
    currentMode = Mode::SendingLog;
    const QByteArray digest = digestHex(logFile, transferDigestFor(settings.softwareVersion));
    reply(buildLogReply(settings.logFileName.toUtf8(), quint32(logFile.size()),
                        announcedLogDigest(digest)),
          QStringLiteral("log reply %1, %2 bytes").arg(settings.logFileName).arg(logFile.size()),
          true);
}

// The tool's signals during a log upload, and CAN at any time (answered
// with ACK, whatever runs).
void ModuleModel::handleLogSignal(char signal)
{
    if (signal == Transfer::CAN) {
        if (transferFaultSwallowsCancel())
            return;
        if (currentMode == Mode::ReceivingUpgrade)
            image.clear();
        enterCommandMode();
        replySignal(Transfer::ACK);
        return;
    }
    if (currentMode != Mode::SendingLog)
        return;
    switch (logStep) {
    case LogStep::AwaitStart:
        if (signal == Transfer::READY)
            sendLogBlock();
        break;
    case LogStep::AwaitBlockAck:
        if (signal == Transfer::ACK) {
            if (logIndex == abortAfterIndex) {
                const char abort = abortSignal;
                abortAfterIndex = -1;
                if (abort == Transfer::CAN)
                    enterCommandMode();
                else
                    logStep = LogStep::AwaitEotAck;
                replySignal(abort);
                return;
            }
            ++logIndex;
            sendLogBlock();
        } else if (signal == Transfer::NAK) {
            sendLogBlock();
        }
        break;
    case LogStep::AwaitEotAck:
        if (signal == Transfer::ACK)
            enterCommandMode();
        else if (signal == Transfer::NAK)
            replySignal(Transfer::EOT);
        break;
    }
}

// Block logIndex, or EOT once every block has gone.
void ModuleModel::sendLogBlock()
{
    if (logIndex >= logBlocks.size()) {
        logStep = LogStep::AwaitEotAck;
        replySignal(Transfer::EOT);
        return;
    }
    logStep = LogStep::AwaitBlockAck;
    const QByteArray &block = logBlocks.at(logIndex);
    if (transferFaultSendsLogBlock(block))
        return;
    reply(block,
          QStringLiteral("log block %1 of %2 (%3 bytes)")
              .arg(logIndex)
              .arg(logBlocks.size())
              .arg(block.size()),
          true);
}

void ModuleModel::enterCommandMode()
{
    currentMode = Mode::Command;
}
