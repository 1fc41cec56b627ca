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

// Every piece goes to the engine's link; the engine alone sees and answers
// the module's end signal of a transfer: in the wait of its step, or, for a
// transfer left running while nothing waits, when asked after the piece.
void SigleDebug::ReadBytes(QByteArray bytes, int)
{
    link->received(bytes);
    if (!transferRunning() || link->waiting())
        return;
    if (const char end = session->answerEndSignal())
        tellOver(end == Transfer::EOT);
}

bool SigleDebug::transferRunning() const
{
    return ui->pushButton_start->isChecked() || ui->pushButton_getLog->isChecked();
}

// An unchecked transfer button ends the running step at its next wait: the
// technician's cancel, a session reset or the loss of the port. The flag
// stays set until the next transfer starts, so that a button checked again
// while the stop is attempted does not let the step go on.
void SigleDebug::onTransferToggled(bool checked)
{
    if (checked)
        return;
    transferCancel.cancel();
    link->wake();
}

// A transfer step of the engine runs; the cancel of its button only sets the
// flag, and the caller of the step runs the stop exchange once it returns.
bool SigleDebug::runsTransferStep() const
{
    return transferStepDepth > 0;
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
