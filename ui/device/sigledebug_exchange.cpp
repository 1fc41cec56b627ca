// Device page: the receive side of the engine's link, the engine's events,
// and the report of the module's error replies.
#include "ui/device/sigledebug.h"

#include "transfer/transferframes.h"
#include "ui/boxes/custombox.h"
#include "ui/device/sigledebug_errors.h"
#include "ui/device/sigledebug_link.h"
#include "ui_sigledebug.h"

#include <QEventLoop>
#include <QTimer>

void SigleDebug::ReadBytes(QByteArray bytes, int size)
{
    link->received(bytes);
    // A lone EOT or CAN ends a file transfer. Outside a transfer the same byte
    // is just the first piece of an ordinary reply and must not be acted on.
    if (size == 1 && transferRunning())
        handleTransferEndSignal(bytes.at(0));
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

// The running transfer's wait ends once its button is unchecked: by the
// technician's cancel, the module's end signal, a session reset or the
// loss of the port. A cancel that is not acknowledged checks it again.
void SigleDebug::onTransferToggled(bool checked)
{
    if (checked)
        transferCancel.reset();
    else
        transferCancel.cancel();
    link->wake();
}

void SigleDebug::writeSignal(char signal)
{
    link->take();
    link->write(QByteArray(1, signal));
}

bool SigleDebug::sendStop(const QString &timeoutText)
{
    const StopResult stop = session->stopTransfer();
    switch (stop.outcome) {
    case StopOutcome::Stopped:
        return true;
    case StopOutcome::TimedOut:
        appendLog(timeoutText);
        return false;
    case StopOutcome::ErrorReply:
        handleErrorReply(stop.errorCode, true);
        return false;
    case StopOutcome::Other:
        return false;
    }
    return false;
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
