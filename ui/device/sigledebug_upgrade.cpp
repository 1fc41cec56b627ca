// Device page: the firmware upgrade. The file is cut into blocks when it is
// chosen; the start button announces it on the line, the block loop and the
// verdict follow there as one step of the engine.
#include "base/logging.h"
#include "ui/device/sigledebug.h"

#include "transfer/transferframes.h"
#include "transfer/upgradejudge.h"
#include "ui/boxes/custombox.h"
#include "ui/device/deviceline.h"
#include "ui/device/filechoice.h"
#include "ui_sigledebug.h"

#include <QDebug>
#include <QFile>

void SigleDebug::on_pushButton_scan_clicked()
{
    const QString path = FileChoice::chooseFirmwareFile(this);
    if (path.isEmpty())
        return; // cancelled: the file chosen before stays
    firmware = FirmwareImage();
    ui->lineEdit_filePath->setText(path);
    const FirmwareImage chosen = FirmwareImage::load(path);
    switch (chosen.refusal) {
    case FirmwareRefusal::Unreadable:
        return refuseFirmware(tr("升级文件无法打开！"));
    case FirmwareRefusal::TooLarge:
        return refuseFirmware(tr("升级包大小不得大于30MB！"));
    case FirmwareRefusal::Empty:
        return refuseFirmware(tr("升级文件为空！"));
    case FirmwareRefusal::NameTooLong:
        return refuseFirmware(tr("升级文件名过长，不得超过64字节！"));
    case FirmwareRefusal::None:
        break;
    }
    firmware = chosen;
    ui->pushButton_start->setEnabled(true);
    qCDebug(lcTransfer).noquote() << QStringLiteral("升级文件：") << path << firmware.size
                                  << QStringLiteral("字节，") << firmware.blocks.size()
                                  << QStringLiteral("块");
}

// A file that gives no blocks cannot be started.
void SigleDebug::refuseFirmware(const QString &warning)
{
    firmware = FirmwareImage();
    ui->pushButton_start->setEnabled(false);
    ui->pushButton_tell->setEnabled(false);
    CustomWarningBox::showWarningBox(tr("提示"), warning);
}

// The module's answer to the announcement; the blocks follow once it is ready.
void SigleDebug::showLoadingStart(const UpgradeResult &start)
{
    if (!ui->pushButton_start->isChecked())
        return; // the session or the port ended meanwhile
    ui->pushButton_start->setEnabled(true);
    bool ready = false;
    switch (start.outcome) {
    case UpgradeOutcome::Upgraded: // the module is ready for the blocks ("C")
        ready = true;
        break;
    case UpgradeOutcome::FileRefused:
        appendLog(tr("升级文件无法打开！"));
        break;
    case UpgradeOutcome::NotReady:
        appendLog(tr("启动加载反馈超时！"));
        break;
    case UpgradeOutcome::ErrorReply:
        handleErrorReply(start.errorCode, true);
        break;
    default:
        appendLog(tr("启动加载失败！"));
        break;
    }
    if (!ready) {
        ui->pushButton_start->setChecked(false);
        ui->pushButton_start->setText(tr("开始"));
        return;
    }
    showTransferRunning(ui->pushButton_start, ui->progressBar);
    sendImage();
}

// The technician's cancel (the button unchecked while the upgrade runs)
// keeps the upgrade shown as running until the module confirms the stop.
void SigleDebug::on_pushButton_start_clicked()
{
    if (!ui->pushButton_start->isChecked()) {
        cancelUpgrade();
        return;
    }
    transferCancel.reset();
    ui->textEdit->clear();
    if (!firmware.isUsable()) {
        ui->pushButton_start->setChecked(false);
        ui->pushButton_start->setText(tr("开始"));
        return;
    }
    ui->pushButton_start->setEnabled(false); // until the module answers the announcement
    const FirmwareImage image = firmware;
    line->run([image](ModuleSession &session) { return session.startLoading(image); },
              [this](const UpgradeResult &start) { showLoadingStart(start); });
}

// The block loop and the verdict in the engine. An unchecked start button
// ends them at their next wait.
void SigleDebug::sendImage()
{
    const QList<QByteArray> blocks = firmware.blocks;
    ui->progressBar->setRange(0, blocks.size() - 1);
    transferClock.start();
    upgradeProgress.start(firmware.size, 0);
    line->run([blocks](ModuleSession &session) { return session.sendImage(blocks); },
              [this](const UpgradeResult &result) { showUpgradeResult(result); });
}

void SigleDebug::blockSent(int index, int, int, qint64 bytesAcknowledged)
{
    lastBlockSent = index;
    showUpgradeProgress(index, bytesAcknowledged);
}

void SigleDebug::imageSent(qint64 bytes)
{
    showUpgradeProgress(lastBlockSent, bytes);
    appendLog(tr("升级文件传输完毕，等待校验......"));
}

namespace
{

// What the page does once the block loop or the verdict has ended.
enum class UpgradeEnding {
    Cancel,   // the flag: the stop while the upgrade still shows as running
    ByModule, // the module's end signal, answered by the engine
    Idle,     // back to idle
    Rejected, // back to idle, the hidden button disabled
    Running,  // the upgrade still shows as running and can be cancelled
    Stop,     // the cancel path: the stop request
};

// The log lines and the ending of each outcome; a first line of nullptr for
// the error reply, whose text comes from the error table.
struct UpgradeEndTexts {
    UpgradeOutcome outcome;
    const char *lines[2];
    UpgradeEnding ending;
};

const UpgradeEndTexts UPGRADE_ENDS[] = {
    {UpgradeOutcome::Cancelled, {nullptr, nullptr}, UpgradeEnding::Cancel},
    {UpgradeOutcome::EndedByModule, {nullptr, nullptr}, UpgradeEnding::ByModule},
    {UpgradeOutcome::Upgraded,
     {QT_TRANSLATE_NOOP("SigleDebug", "升级成功！"), nullptr},
     UpgradeEnding::Idle},
    {UpgradeOutcome::VerdictTimedOut,
     {QT_TRANSLATE_NOOP("SigleDebug", "升级校验反馈超时！"), nullptr},
     UpgradeEnding::Running},
    {UpgradeOutcome::Rejected,
     {QT_TRANSLATE_NOOP("SigleDebug", "升级文件校验不通过！"), nullptr},
     UpgradeEnding::Rejected},
    {UpgradeOutcome::BlockTimedOut,
     {QT_TRANSLATE_NOOP("SigleDebug", "文件加载中反馈超时！"),
      QT_TRANSLATE_NOOP("SigleDebug", "准备中断传输！")},
     UpgradeEnding::Stop},
    {UpgradeOutcome::TooManyResends,
     {QT_TRANSLATE_NOOP("SigleDebug", "已达到最大重发次数！"),
      QT_TRANSLATE_NOOP("SigleDebug", "准备中断传输！")},
     UpgradeEnding::Stop},
    {UpgradeOutcome::ErrorReply, {nullptr, nullptr}, UpgradeEnding::Stop},
};

// Anything else the module answers to a block.
const UpgradeEndTexts UNRELATED_END = {
    UpgradeOutcome::Unrelated,
    {QT_TRANSLATE_NOOP("SigleDebug", "接收到无关数据！"), nullptr},
    UpgradeEnding::Stop};

const UpgradeEndTexts &endOf(UpgradeOutcome outcome)
{
    for (const UpgradeEndTexts &end : UPGRADE_ENDS) {
        if (end.outcome == outcome)
            return end;
    }
    return UNRELATED_END;
}

} // namespace

// The failures of the blocks and of the verdict's error reply go through the
// cancel path; a rejected image returns to idle directly, after its message.
// Nothing is shown once the upgrade no longer shows as running (a session
// reset, the port's loss); a cancel then needs no stop.
void SigleDebug::showUpgradeResult(const UpgradeResult &result)
{
    if (!ui->pushButton_start->isChecked())
        return;
    const UpgradeEndTexts &end = endOf(result.outcome);
    if (end.ending == UpgradeEnding::Cancel)
        return cancelUpgrade();
    if (end.ending == UpgradeEnding::ByModule)
        return tellOver(result.endSignal == Transfer::EOT);
    if (end.ending == UpgradeEnding::Idle)
        returnUpgradeToIdle();
    if (result.outcome == UpgradeOutcome::ErrorReply)
        handleErrorReply(result.errorCode, true);
    for (const char *line : end.lines) {
        if (line)
            appendLog(tr(line));
    }
    if (end.ending == UpgradeEnding::Rejected) {
        returnUpgradeToIdle();
        ui->pushButton_tell->setEnabled(false);
    }
    if (end.ending == UpgradeEnding::Stop)
        cancelUpgrade();
    if (end.ending == UpgradeEnding::Running && !stopPending)
        awaitModuleEnd();
}

// The bar moves with its text, a few times a second: a repaint for every
// block would delay the next block on the line.
void SigleDebug::showUpgradeProgress(int blockIndex, qint64 bytesAcknowledged)
{
    if (!upgradeProgress.update(bytesAcknowledged, transferClock.elapsed()))
        return;
    ui->progressBar->setValue(blockIndex);
    ui->progressBar->setFormat(upgradeProgress.text());
}

// The cancel path: the stop request after the running step; on its ACK the
// page returns to idle, otherwise the upgrade still shows as running
// ("取消").
void SigleDebug::cancelUpgrade()
{
    ui->pushButton_start->setChecked(true);
    requestStop(tr("停止加载反馈超时！"), [this] {
        returnUpgradeToIdle();
        ui->pushButton_tell->setEnabled(false);
        appendLog(tr("主节点已强制终止传输"));
    });
}

void SigleDebug::returnUpgradeToIdle()
{
    ui->progressBar->hide();
    for (QPushButton *button :
         {ui->pushButton_setSSID, ui->pushButton_refresh, ui->pushButton_encryption,
          ui->pushButton_setFeMAC, ui->pushButton_setWifiMAC, ui->pushButton_directory,
          ui->pushButton_scan})
        button->setEnabled(true);
    ui->pushButton_start->setChecked(false);
    ui->pushButton_start->setText(tr("开始"));
    enableTransferStarts();
}
