// Device page: the receive buffer, the request/reply exchange and its waits,
// and the report of the module's error replies.
#include "protocol/sigledebug.h"

#include "serial/handleserialport.h"
#include "transfer/transferframes.h"
#include "ui/boxes/custombox.h"
#include "ui_sigledebug.h"

#include <QEventLoop>
#include <QTimer>

void SigleDebug::ReadBytes(QByteArray bytes, int size)
{
    rxBuffer.append(bytes);
    if (ui->pushButton_getLog->isChecked())
        logRxBuffer.append(bytes);
    // A lone EOT or CAN ends a file transfer. Outside a transfer the same byte
    // is just the first piece of an ordinary reply and must not be acted on.
    if (size == 1 && transferRunning())
        handleTransferEndSignal(bytes.at(0));
    if (replyWait && rxBuffer.size() > waitThreshold)
        replyWait->quit();
}

bool SigleDebug::transferRunning() const
{
    return ui->pushButton_start->isChecked() || ui->pushButton_getLog->isChecked();
}

void SigleDebug::handleTransferEndSignal(char byte)
{
    if (byte == Transfer::EOT || byte == Transfer::CAN)
        finishLogUpload(byte == Transfer::EOT);
}

QByteArray SigleDebug::exchange(SessionRequest request, const QByteArray &frame)
{
    const SessionRequestSpec &spec = sessionRequestSpec(request);
    rxBuffer.clear();
    serialPort->writeBytes(frame);
    waitForReply(replyThreshold(request), spec.timeLimitMs);
    return rxBuffer;
}

// Sleeps in a nested event loop until more than `threshold` bytes are in
// rxBuffer (ReadBytes ends the loop) or the time limit has passed. Clicks,
// timers and port-list changes are handled meanwhile.
void SigleDebug::waitForReply(int threshold, int timeLimitMs)
{
    if (rxBuffer.size() > threshold)
        return;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeLimitMs);

    QEventLoop *const outerWait = replyWait;
    const int outerThreshold = waitThreshold;
    replyWait = &loop;
    waitThreshold = threshold;
    loop.exec();
    replyWait = outerWait;
    waitThreshold = outerThreshold;
    // Bytes that arrived for an outer wait while this one ran.
    if (replyWait && rxBuffer.size() > waitThreshold)
        replyWait->quit();
}

void SigleDebug::waitWithEvents(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void SigleDebug::handleErrorReply(quint8 code, bool logMode)
{
    loginDialogClosable = true;
    wifiCheckAllowed = false;
    const ErrorReplyInfo info = errorReplyInfo(code);
    if (info.effect == SessionEffect::ForcedPasswordChange) {
        forceLoginPasswordChange();
        return;
    }
    if (logMode && !info.alwaysBox) {
        appendLog(info.logText);
    } else {
        if (logMode && info.clearsLogView)
            ui->textEdit->clear();
        CustomWarningBox::showWarningBox(tr("提示"), info.boxText);
    }
    if (info.effect == SessionEffect::EndsSession)
        setSessionView(false);
}
