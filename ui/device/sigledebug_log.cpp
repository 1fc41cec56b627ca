// Device page: the log upload. The request button asks the module for its
// log on the line and creates the file in the chosen directory; the receive
// loop follows there in the engine, one pass per block, until the module's
// lone EOT or CAN (seen and answered by the engine) or a cancel.
#include "base/logging.h"
#include "ui/device/sigledebug.h"

#include "transfer/logreceive.h"
#include "transfer/transferframes.h"
#include "ui/boxes/custombox.h"
#include "ui/device/deviceline.h"
#include "ui/device/filechoice.h"
#include "ui_sigledebug.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

void SigleDebug::on_pushButton_directory_clicked()
{
    const QString chosen = FileChoice::chooseLogDirectory(this);
    if (chosen.isEmpty())
        return; // cancelled: the directory chosen before stays
    logDirectory = chosen;
    ui->lineEdit_savePath->setText(logDirectory);
    ui->pushButton_getLog->setEnabled(true);
}

// The module's answer to the request; the receive loop follows once the
// file is open.
void SigleDebug::showLogRequest(const LogRequestResult &reply)
{
    if (!ui->pushButton_getLog->isChecked())
        return; // the session or the port ended meanwhile
    ui->pushButton_getLog->setEnabled(true);
    const LogAnnouncement &announced = reply.announced;
    bool accepted = false;
    switch (reply.outcome) {
    case LogRequestReply::TimedOut:
        appendLog(tr("请求日志反馈超时！"));
        break;
    case LogRequestReply::ErrorReply:
        handleErrorReply(reply.errorCode, true);
        break;
    case LogRequestReply::Unrelated:
        appendLog(tr("接收到无关数据！"));
        break;
    case LogRequestReply::ChecksumFailure:
    case LogRequestReply::Malformed:
        appendLog(tr("请求日志响应帧校验错误！"));
        break;
    case LogRequestReply::Accepted:
        accepted = true;
        break;
    }
    if (accepted && !isSafeLogFileName(announced.fileName)) {
        appendLog(tr("设备日志文件名非法：\"%1\"").arg(announced.fileName));
        accepted = false;
    }
    if (accepted) {
        expectedLogDigest = announced.digest;
        expectedLogSize = announced.size;
        ui->progressBar_2->setRange(0, expectedLogSize);
        accepted = openLogFile(announced.fileName);
    }
    if (!accepted) {
        ui->pushButton_getLog->setChecked(false);
        ui->pushButton_getLog->setText(tr("请求"));
        return;
    }
    showTransferRunning(ui->pushButton_getLog, ui->progressBar_2);
    pullLog();
}

// The file is created in the chosen directory under the announced name; the
// directory field keeps the directory (the saved-file line names the file).
// A file object of an earlier upload is released here.
bool SigleDebug::openLogFile(const QString &name)
{
    closeLogFile();
    logFile = std::make_unique<QFile>(QDir(logDirectory).filePath(name));
    if (logFile->open(QIODevice::WriteOnly | QIODevice::Truncate))
        return true;
    appendLog(tr("日志文件打开失败"));
    logFile.reset();
    return false;
}

void SigleDebug::closeLogFile()
{
    if (logFile && logFile->isOpen())
        logFile->close(); // flushes
}

// The technician's cancel (the button unchecked while the upload runs)
// keeps the upload shown as running until the module confirms the stop.
void SigleDebug::on_pushButton_getLog_clicked()
{
    if (!ui->pushButton_getLog->isChecked()) {
        ui->pushButton_getLog->setChecked(true);
        stopLogUpload();
        return;
    }
    transferCancel.reset();
    ui->textEdit->clear();
    if (!directoryTakesNewFiles(logDirectory)) { // nothing is sent
        CustomWarningBox::showWarningBox(tr("提示"),
                                         tr("无法在目录“%1”中创建文件，请选择其他目录！")
                                             .arg(QDir::toNativeSeparators(logDirectory)));
        ui->pushButton_getLog->setChecked(false);
        return;
    }
    ui->pushButton_getLog->setEnabled(false); // until the module answers the request
    line->run([](ModuleSession &session) { return session.requestLog(); },
              [this](const LogRequestResult &reply) { showLogRequest(reply); });
}

// The cancel path: the stop request after the running pass; on its ACK the
// page returns to idle, otherwise the upload still shows as running
// ("取消").
void SigleDebug::stopLogUpload()
{
    requestStop(tr("取消获取日志反馈超时！"), [this] { returnLogToIdle(); });
}

void SigleDebug::returnLogToIdle()
{
    ui->progressBar_2->hide();
    closeLogFile();
    for (QPushButton *button :
         {ui->pushButton_refresh, ui->pushButton_setSSID, ui->pushButton_encryption,
          ui->pushButton_setFeMAC, ui->pushButton_setWifiMAC, ui->pushButton_scan,
          ui->pushButton_directory})
        button->setEnabled(true);
    ui->pushButton_getLog_2->setEnabled(false);
    ui->pushButton_getLog->setChecked(false);
    ui->pushButton_getLog->setText(tr("请求"));
    enableTransferStarts();
}

// The receive loop, in the engine: a pass ends on a whole block or after
// 300 ms and is answered with ACK or NAK. It ends on the module's EOT or CAN
// or once the request button is unchecked (the technician's cancel, session
// reset, port loss). The file is written on the line until the pull's
// outcome is back, and closed then whatever ended it.
void SigleDebug::pullLog()
{
    transferClock.start();
    logProgress.start(expectedLogSize, 0);
    ui->progressBar_2->setFormat(logProgress.text());
    LogAnnouncement announced;
    announced.size = expectedLogSize;
    announced.digest = expectedLogDigest;
    QIODevice *const sink = logFile.get();
    line->run(
        [announced, sink](ModuleSession &session) {
            QFile discard; // a pull without an open file keeps nothing
            return session.pullLog(announced, sink ? sink : &discard, Session::UNLIMITED);
        },
        [this](const LogPullResult &result) {
            closeLogFile();
            showLogResult(result);
        });
}

// The engine's end of the pull. A cancel stops only while the upload still
// shows as running (the technician's); a lost line is left to the port list.
void SigleDebug::showLogResult(const LogPullResult &result)
{
    if (!ui->pushButton_getLog->isChecked())
        return;
    switch (result.outcome) {
    case LogPullOutcome::Complete:
    case LogPullOutcome::DigestMismatch:
        return finishLogUpload(true, result.outcome == LogPullOutcome::Complete);
    case LogPullOutcome::AbortedByModule:
        if (!result.linkLost)
            finishLogUpload(false, false);
        return;
    case LogPullOutcome::TooManyFailures:
    case LogPullOutcome::Cancelled:
        stopLogUpload();
        return;
    }
}

void SigleDebug::logPassEmpty()
{
    appendLog(tr("从节点上传反馈超时！"));
    appendLog(tr("准备重新拉取当前帧！"));
}

void SigleDebug::logBlockWritten(qint64 written, qint64 progress)
{
    // The block that runs past the size fills the bar.
    ui->progressBar_2->setValue(int(qMin<qint64>(progress, expectedLogSize)));
    if (logProgress.update(written, transferClock.elapsed()))
        ui->progressBar_2->setFormat(logProgress.text());
}

// The transfer buttons back to idle (a chosen file and directory may be
// sent and requested again), the bars hidden.
void SigleDebug::tellOver(bool complete)
{
    ui->pushButton_refresh->setEnabled(true);
    ui->pushButton_scan->setEnabled(true);
    ui->pushButton_start->setText(tr("开始"));
    ui->pushButton_start->setChecked(false);
    ui->pushButton_tell->setEnabled(false);
    ui->pushButton_directory->setEnabled(true);
    ui->pushButton_getLog->setText(tr("请求"));
    ui->pushButton_getLog->setChecked(false);
    ui->pushButton_getLog_2->setEnabled(false);
    enableTransferStarts();
    closeLogFile();
    appendLog(complete ? tr("设备文件传输完成！") : tr("设备中断文件传输！"));
    ui->progressBar->hide();
    ui->progressBar_2->hide(); // the saved-file line tells the rest
}

void SigleDebug::enableTransferStarts()
{
    ui->pushButton_start->setEnabled(firmware.isUsable());
    ui->pushButton_getLog->setEnabled(!logDirectory.isEmpty());
}

// EOT (complete) or CAN (aborted) from the module during a log upload; the
// digest verdict is the engine's, over the bytes it wrote.
void SigleDebug::finishLogUpload(bool complete, bool digestMatches)
{
    tellOver(complete);
    if (!complete || !logFile)
        return;
    showLogComplete();
    verifyLogDigest(logFile->fileName(), digestMatches);
}

// A complete upload's bar is left full (and hidden): it never reads less
// than what was saved.
void SigleDebug::showLogComplete()
{
    ui->progressBar_2->setValue(ui->progressBar_2->maximum());
    logProgress.update(expectedLogSize, transferClock.elapsed());
    ui->progressBar_2->setFormat(logProgress.text());
}

void SigleDebug::verifyLogDigest(const QString &path, bool matches)
{
    if (!matches)
        appendLog(tr("文件哈希值校验错误！"));
    appendLog(tr("日志已保存到 %1，共 %2 字节，%3")
                  .arg(QDir::toNativeSeparators(path))
                  .arg(QFileInfo(path).size())
                  .arg(matches ? tr("校验通过") : tr("校验未通过")));
}
