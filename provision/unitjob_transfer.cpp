#include "provision/unitjob_p.h"

#include "provision/steptexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool UnitJob::pullLog()
{
    if (plan.logDir.isEmpty())
        return true;
    const LogRequestResult request = session->requestLog();
    if (request.linkLost)
        return fail(Failure::PortLost, StepTexts::portLostText());
    switch (request.outcome) {
    case LogRequestReply::Accepted:
        break;
    case LogRequestReply::TimedOut:
        return fail(Failure::Timeout, tr("请求日志反馈超时！"));
    case LogRequestReply::ErrorReply:
        return fail(StepTexts::failureOf({StepOutcome::ErrorReply, request.errorCode}),
                    StepTexts::errorCodeText(request.errorCode), request.errorCode);
    case LogRequestReply::ChecksumFailure:
        return fail(Failure::Checksum, tr("请求日志响应帧校验错误！"));
    case LogRequestReply::Unrelated:
    case LogRequestReply::Malformed:
        return fail(Failure::ModuleError, tr("接收到无关数据！"));
    }
    const LogAnnouncement &announced = request.announced;
    QString name = announced.fileName;
    if (!isSafeLogFileName(name)) {
        session->stopTransfer();
        return fail(Failure::ModuleError, tr("模块给出的日志文件名不可用：%1").arg(name));
    }
    // A log of an earlier unit is never overwritten: a second one is named as per unit.
    if (plan.logPerUnit || QFileInfo::exists(QDir(plan.logDir).filePath(name)))
        name = QStringLiteral("%1-%2-%3")
                   .arg(portFilePart(outcome.port),
                        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")),
                        name);
    QFile file(QDir(plan.logDir).filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        session->stopTransfer();
        return fail(Failure::RefusedInput, tr("日志文件打开失败"));
    }
    transferTotal = announced.size;
    transferClock.start();
    const LogPullResult result =
        session->pullLog(announced, &file, Session::UNATTENDED_LOG_FAILURES);
    file.close();
    if (result.linkLost)
        return fail(Failure::PortLost, StepTexts::portLostText());
    // The module still sends until it is told to stop.
    if (result.outcome == LogPullOutcome::TooManyFailures ||
        result.outcome == LogPullOutcome::Cancelled)
        session->stopTransfer();
    const QString path = QFileInfo(file).absoluteFilePath();
    switch (result.outcome) {
    case LogPullOutcome::Complete:
    case LogPullOutcome::DigestMismatch: {
        const bool digestOk = result.outcome == LogPullOutcome::Complete;
        outcome.data.insert(QStringLiteral("file"), path);
        outcome.data.insert(plan.mode == UnitPlan::Mode::Single ? QStringLiteral("bytes")
                                                                : QStringLiteral("logBytes"),
                            double(result.written));
        outcome.data.insert(QStringLiteral("digestOk"), digestOk);
        if (!digestOk)
            return fail(Failure::DigestMismatch, tr("文件哈希值校验错误！"));
        stepDone(QStringLiteral("pull-log"));
        return true;
    }
    case LogPullOutcome::AbortedByModule:
        return fail(Failure::ModuleError, tr("设备中断文件传输！"));
    case LogPullOutcome::TooManyFailures:
        return fail(Failure::Checksum, tr("日志数据块多次接收失败！"));
    case LogPullOutcome::Cancelled:
        break;
    }
    return fail(Failure::Cancelled, tr("已中断"));
}

bool UnitJob::upgrade()
{
    if (!plan.firmware)
        return true;
    transferTotal = plan.firmware->size;
    transferClock.start();
    StopResult stop;
    const UpgradeResult result = session->upgrade(*plan.firmware, &stop);
    const double seconds = transferClock.elapsed() / 1000.0;
    if (result.linkLost)
        return fail(Failure::PortLost, StepTexts::portLostText());
    switch (result.outcome) {
    case UpgradeOutcome::Upgraded:
        break;
    case UpgradeOutcome::Rejected:
        outcome.data.insert(QStringLiteral("upgradeOk"), false);
        return fail(Failure::Checksum, tr("升级文件校验不通过！"));
    case UpgradeOutcome::VerdictTimedOut:
    case UpgradeOutcome::NotReady:
    case UpgradeOutcome::BlockTimedOut:
        return fail(Failure::Timeout, tr("升级响应超时！"));
    case UpgradeOutcome::StartRefused:
        return fail(Failure::ModuleError, tr("启动加载失败！"));
    case UpgradeOutcome::TooManyResends:
        return fail(Failure::ModuleError, tr("已达到最大重发次数！"));
    case UpgradeOutcome::Unrelated:
        return fail(Failure::ModuleError, tr("接收到无关数据！"));
    case UpgradeOutcome::ErrorReply:
        return fail(StepTexts::failureOf({StepOutcome::ErrorReply, result.errorCode}),
                    StepTexts::errorCodeText(result.errorCode), result.errorCode);
    case UpgradeOutcome::EndedByModule:
        return fail(Failure::ModuleError, tr("设备中断文件传输！"));
    case UpgradeOutcome::FileRefused:
        return fail(Failure::RefusedInput, tr("固件文件不可用"));
    case UpgradeOutcome::Cancelled:
        return fail(Failure::Cancelled, tr("已中断"));
    }
    outcome.data.insert(QStringLiteral("bytes"), double(transferTotal));
    outcome.data.insert(QStringLiteral("seconds"), qRound(seconds * 1000) / 1000.0);
    outcome.data.insert(QStringLiteral("upgradeOk"), true);
    stepDone(QStringLiteral("upgrade"));
    // The versions the module runs now, when it still answers.
    VersionInfo now;
    haveAfter = session->readVersions(&now).ok();
    if (haveAfter)
        after = now;
    return true;
}
