// Device page: the transfer states, the stop exchange and the report of the
// module's error replies.
#include "ui/device/sigledebug.h"

#include "transfer/transferframes.h"
#include "ui/boxes/custombox.h"
#include "ui/device/deviceline.h"
#include "ui/device/sigledebug_errors.h"
#include "ui_sigledebug.h"

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
    if (!checked)
        transferCancel.cancel();
}

// One bar, the running transfer's; every other action waits, the file and
// folder choices too: a new choice must not change what is sent or saved.
void SigleDebug::showTransferRunning(QPushButton *running, QProgressBar *bar)
{
    for (QProgressBar *each : {ui->progressBar, ui->progressBar_2}) {
        each->setValue(0);
        each->setVisible(each == bar);
    }
    resetDeviceValues();
    for (QPushButton *button :
         {ui->pushButton_setSSID, ui->pushButton_refresh, ui->pushButton_encryption,
          ui->pushButton_setFeMAC, ui->pushButton_setWifiMAC, ui->pushButton_directory,
          ui->pushButton_scan, ui->pushButton_start, ui->pushButton_tell, ui->pushButton_getLog,
          ui->pushButton_getLog_2})
        button->setEnabled(button == running);
    running->setText(tr("取消"));
}

void SigleDebug::requestStop(const QString &timeoutText, std::function<void()> stopped)
{
    if (stopPending)
        return;
    stopPending = true;
    line->run([](ModuleSession &session) { return session.stopTransfer(); },
              [this, timeoutText, stopped](const StopResult &stop) {
                  stopPending = false;
                  showStop(stop, timeoutText, stopped);
                  emit stopAnswered();
              });
}

// A stop the module did not confirm leaves the transfer shown as running
// ("取消"), unless the session or the port ended meanwhile.
void SigleDebug::showStop(const StopResult &stop, const QString &timeoutText,
                          const std::function<void()> &stopped)
{
    if (!transferRunning())
        return;
    switch (stop.outcome) {
    case StopOutcome::Stopped:
        return stopped();
    case StopOutcome::TimedOut:
        appendLog(timeoutText);
        break;
    case StopOutcome::ErrorReply:
        handleErrorReply(stop.errorCode, true);
        break;
    case StopOutcome::Other:
        break;
    }
    if (transferRunning() && !stop.linkLost)
        awaitModuleEnd();
}

// The wait ends with anything handed to the line after it (a stop, the
// close), so it never holds the line up.
void SigleDebug::awaitModuleEnd()
{
    line->awaitEndSignal([this](char end) {
        if (end && transferRunning())
            tellOver(end == Transfer::EOT);
    });
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
