#include "provision/unitjob.h"

#include "base/macaddress.h"
#include "provision/claimsettlement.h"
#include "provision/macsupply.h"
#include "provision/secrets.h"
#include "provision/steptexts.h"
#include "provision/unitsink.h"
#include "session/blockingseriallink.h"
#include "session/modulesession.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

namespace
{

const QString FACTORY_PASSWORD = QString::fromLatin1(ModuleLine::FACTORY_PASSWORD);

QJsonObject versionsJson(const VersionInfo &version)
{
    return {{QStringLiteral("software"), version.software},
            {QStringLiteral("hardware"), version.hardware}};
}

QJsonObject deviceJson(const DeviceInfo &info, bool showSecrets)
{
    QJsonObject wifi{{QStringLiteral("ssid"), info.wifi.ssid},
                     {QStringLiteral("channel"), info.wifi.channel},
                     {QStringLiteral("bandWidth"), info.wifi.bandWidth},
                     {QStringLiteral("encryption"),
                      encryptionText(info.wifi.encryptionCode).value_or(QString())},
                     {QStringLiteral("ip"), formatDottedQuad(info.wifi.ip)},
                     {QStringLiteral("mask"), formatDottedQuad(info.wifi.mask)},
                     {QStringLiteral("mac"), formatMacColons(info.wifi.mac)}};
    if (showSecrets)
        wifi.insert(QStringLiteral("password"), info.wifi.password);
    return {
        {QStringLiteral("softwareVersion"), formatVersion(info.version.software)},
        {QStringLiteral("hardwareVersion"), formatVersion(info.version.hardware)},
        {QStringLiteral("rs485"),
         QJsonObject{
             {QStringLiteral("baudRate"), double(info.uart.baudRate)},
             {QStringLiteral("dataBits"), info.uart.dataBits},
             {QStringLiteral("stopBits"), stopBitText(info.uart.stopBitCode)},
             {QStringLiteral("parity"), parityText(info.uart.parityCode).value_or(QString())}}},
        {QStringLiteral("wifi"), wifi},
        {QStringLiteral("fe"), QJsonObject{{QStringLiteral("ip"), formatDottedQuad(info.fe.ip)},
                                           {QStringLiteral("mask"), formatDottedQuad(info.fe.mask)},
                                           {QStringLiteral("mac"), formatMacColons(info.fe.mac)}}}};
}

// "/dev/pts/3" → "pts_3", a name part for files of that port.
QString portFilePart(const QString &port)
{
    QString part = port;
    if (part.startsWith(QLatin1String("/dev/")))
        part = part.mid(5);
    return part.replace(QLatin1Char('/'), QLatin1Char('_'));
}

// The text that the module shows for a text field written as `text`:
// `shownBytes` bytes of its local encoding, decoded as the reads do.
QString shownText(const QString &text, int shownBytes)
{
    return decodeModuleText(text.toLocal8Bit().left(shownBytes));
}

class UnitJob : public SessionObserver
{
    Q_DECLARE_TR_FUNCTIONS(UnitJob)

public:
    UnitJob(const UnitPlan &plan, const QString &port, UnitSink *sink, const CancelFlag *cancel)
        : plan(plan), sink(sink), cancel(cancel)
    {
        outcome.port = port;
    }

    // Runs over `link`, or over the unit's port opened here when null.
    PortOutcome run(SessionLink *link);

    // Transfer progress, throttled by the console.
    void blockSent(int, int, int, qint64 bytesAcknowledged) override
    {
        sink->transferMoved(outcome.port, TransferPhase::Upgrade, bytesAcknowledged, transferTotal,
                            rate(bytesAcknowledged));
    }
    void logBlockWritten(qint64 written, qint64) override
    {
        sink->transferMoved(outcome.port, TransferPhase::Log, written, transferTotal,
                            rate(written));
    }

private:
    void runSteps();
    bool logIn();
    bool setLoginPassword();
    bool forcedLoginChange(const CredentialResult &refused);
    bool changeLogin(const QString &password);
    bool readInfo();
    bool writeSsid();
    bool writeWifiPassword();
    bool writeMacs();
    bool writeMac(bool wifi, const QString &mac, MacSupply *supply, QStringList *unwritten);
    bool verify();
    bool pullLog();
    bool upgrade();
    QJsonObject record() const;

    // Records a failed step; false, so callers can `return fail(...)`.
    bool fail(Failure failure, const QString &message, int code = -1);
    bool failStep(SessionRequest request, const StepResult &result);
    void stepDone(const QString &name);
    void noteAnswer(const StepResult &result);
    double rate(qint64 done) const
    {
        const qint64 ms = transferClock.elapsed();
        return ms > 0 ? done * 1000.0 / ms : 0.0;
    }

    const UnitPlan &plan;
    UnitSink *sink;
    const CancelFlag *cancel;
    ModuleSession *session = nullptr;
    PortOutcome outcome;
    QString password;
    QString wifiPassword;
    bool loggedIn = false;
    DeviceInfo info;
    VersionInfo after;
    bool haveInfo = false;
    bool haveAfter = false;
    QJsonArray steps;
    QString currentStep; // the step that runs, for a failure's record
    QElapsedTimer clock;
    QElapsedTimer transferClock;
    qint64 transferTotal = 0;
};

PortOutcome UnitJob::run(SessionLink *given)
{
    clock.start();
    password = plan.password;
    wifiPassword = plan.wifiPassword;
    sink->unitBegan(outcome.port, plan.commandName);
    BlockingSerialLink port;
    QString problem;
    if (!given && !port.open(outcome.port, &problem)) {
        fail(Failure::NoPort, problem);
    } else {
        ModuleSession engine(given ? given : &port, this, cancel);
        session = &engine;
        runSteps();
        if (loggedIn) {
            engine.logout();
            stepDone(QStringLiteral("logout"));
        }
        session = nullptr;
        port.close();
    }
    // The device as read, with the settings this run wrote since.
    if (haveInfo && plan.showDevice)
        outcome.data.insert(QStringLiteral("device"), deviceJson(info, plan.showSecrets));
    sink->unitEnded(outcome, record());
    return outcome;
}

// The steps in their order; a stop request is honoured between any two.
void UnitJob::runSteps()
{
    using Step = bool (UnitJob::*)();
    struct StepRow {
        Step step;
        const char *key; // the step a failure is recorded in
    };
    static constexpr StepRow STEPS[] = {
        {&UnitJob::logIn, "login"},
        {&UnitJob::readInfo, "info"},
        {&UnitJob::writeSsid, "ssid"},
        {&UnitJob::writeWifiPassword, "wifi-password"},
        {&UnitJob::setLoginPassword, "login-password"},
        {&UnitJob::writeMacs, "wifi-mac"},
        {&UnitJob::verify, "verify"},
        {&UnitJob::pullLog, "pull-log"},
        {&UnitJob::upgrade, "upgrade"},
    };
    for (const StepRow &row : STEPS) {
        currentStep = QString::fromLatin1(row.key);
        if (cancel && cancel->isSet()) {
            fail(Failure::Cancelled, tr("已中断"));
            return;
        }
        if (!(this->*row.step)())
            return;
    }
}

bool UnitJob::fail(Failure failure, const QString &message, int code)
{
    // Whatever a step made of it, a set cancel flag is the reason it ended.
    if (cancel && cancel->isSet())
        failure = Failure::Cancelled;
    outcome.failure = failure;
    outcome.message = message;
    outcome.code = code;
    return false;
}

bool UnitJob::failStep(SessionRequest request, const StepResult &result)
{
    const int code = result.outcome == StepOutcome::ErrorReply ? result.errorCode : -1;
    return fail(StepTexts::failureOf(result), StepTexts::message(request, result), code);
}

void UnitJob::stepDone(const QString &name)
{
    steps.append(name);
    sink->stepDone(outcome.port, name);
}

void UnitJob::noteAnswer(const StepResult &result)
{
    if (result.outcome != StepOutcome::TimedOut)
        outcome.moduleAnswered = true;
}

bool UnitJob::logIn()
{
    const CredentialResult result = session->login(plan.account, password);
    noteAnswer(result);
    if (result.outcome == StepOutcome::ErrorReply &&
        result.errorCode == ErrorCode::DEFAULT_PASSWORD)
        return forcedLoginChange(result);
    if (!result.ok())
        return failStep(SessionRequest::Login, result);
    loggedIn = true;
    stepDone(QStringLiteral("login"));
    return true;
}

// The module accepts the factory login password only to change it.
bool UnitJob::forcedLoginChange(const CredentialResult &refused)
{
    const QString replacement =
        !plan.loginPassword.isEmpty() ? plan.loginPassword : plan.newLoginPassword;
    if (replacement.isEmpty() || replacement == password) {
        return fail(Failure::ForcedPasswordChange,
                    tr("登录密码为初始密码，需要修改：请给出--new-login-password-file"),
                    refused.errorCode);
    }
    loggedIn = true; // the module keeps a session for the change alone
    if (!changeLogin(replacement))
        return false;
    const CredentialResult again = session->login(plan.account, password);
    if (!again.ok())
        return failStep(SessionRequest::Login, again);
    loggedIn = true;
    stepDone(QStringLiteral("login"));
    return true;
}

// set-login-password, unless the forced change at login made it already.
bool UnitJob::setLoginPassword()
{
    return plan.loginPassword.isEmpty() || password == plan.loginPassword ||
           changeLogin(plan.loginPassword);
}

// A changed login password ends the session; the next login uses it.
bool UnitJob::changeLogin(const QString &replacement)
{
    const QString problem = Secrets::loginPasswordProblem(replacement, plan.account, password);
    if (!problem.isEmpty())
        return fail(Failure::RefusedInput, problem);
    const CredentialResult result = session->changeCredentials(plan.account, replacement);
    noteAnswer(result);
    if (!result.ok())
        return failStep(SessionRequest::ChangeCredentials, result);
    password = replacement;
    loggedIn = false;
    stepDone(QStringLiteral("login-password"));
    return true;
}

bool UnitJob::readInfo()
{
    const RefreshResult result = session->refresh(&info);
    noteAnswer(result);
    if (!result.ok())
        return failStep(result.failedRead, result);
    haveInfo = true;
    after = info.version;
    haveAfter = true;
    stepDone(QStringLiteral("info"));
    // A factory Wi-Fi password must go, by the command's own password or the option's.
    if (info.wifi.password == FACTORY_PASSWORD && wifiPassword.isEmpty()) {
        if (plan.newWifiPassword.isEmpty())
            return fail(Failure::ForcedPasswordChange,
                        tr("Wifi密码为初始密码，需要修改：请给出--new-wifi-password-file"));
        wifiPassword = plan.newWifiPassword;
    }
    return true;
}

bool UnitJob::writeSsid()
{
    if (!plan.ssid)
        return true;
    const StepResult result = session->writeSsid(*plan.ssid);
    if (!result.ok())
        return failStep(SessionRequest::WriteSsid, result);
    info.wifi.ssid = shownText(*plan.ssid, 16);
    stepDone(QStringLiteral("ssid"));
    return true;
}

bool UnitJob::writeWifiPassword()
{
    // A recipe that the unit meets already needs no change.
    if (wifiPassword.isEmpty() ||
        (plan.mode == UnitPlan::Mode::Provision && wifiPassword == info.wifi.password))
        return true;
    const QString problem = Secrets::wifiPasswordProblem(wifiPassword, info.wifi.password,
                                                         plan.ssid ? *plan.ssid : info.wifi.ssid);
    if (!problem.isEmpty())
        return fail(Failure::RefusedInput, problem);
    const StepResult result = session->writeWifiPassword(wifiPassword);
    if (!result.ok())
        return failStep(SessionRequest::WriteWifiPassword, result);
    info.wifi.password = wifiPassword;
    stepDone(QStringLiteral("wifi-password"));
    return true;
}

bool UnitJob::writeMacs()
{
    QString wifi = plan.wifiMac;
    QString fe = plan.feMac;
    std::unique_ptr<MacSupply> supply;
    QStringList claimed;
    const int wanted = int(plan.poolWifiMac) + int(plan.poolFeMac);
    if (wanted > 0) {
        supply = std::make_unique<MacSupply>(plan.poolUrl);
        QString problem;
        if (!supply->isOpen(&problem) ||
            !supply->claim(wanted, plan.station, plan.operatorName, &claimed, &problem))
            return fail(Failure::PoolEmpty, problem);
        // Older pool files may hold other forms; the module and the output get the colon form.
        for (QString &mac : claimed) {
            quint64 value = 0;
            if (parseStoredMac(mac, value))
                mac = colonMac(value);
        }
        if (plan.poolWifiMac)
            wifi = claimed.takeFirst();
        if (plan.poolFeMac)
            fe = claimed.takeFirst();
    }
    QStringList unwritten;
    if (supply)
        unwritten << (plan.poolWifiMac ? wifi : QString()) << (plan.poolFeMac ? fe : QString());
    const bool ok = (wifi.isEmpty() || writeMac(true, wifi, supply.get(), &unwritten)) &&
                    (fe.isEmpty() || writeMac(false, fe, supply.get(), &unwritten));
    // Addresses of the claim that never went out go back.
    for (const QString &mac : qAsConst(unwritten)) {
        if (!mac.isEmpty())
            supply->release(mac);
    }
    return ok;
}

bool UnitJob::writeMac(bool wifi, const QString &mac, MacSupply *supply, QStringList *unwritten)
{
    const SessionRequest request = wifi ? SessionRequest::WriteWifiMac : SessionRequest::WriteFeMac;
    currentStep = wifi ? QStringLiteral("wifi-mac") : QStringLiteral("fe-mac");
    const StepResult result = wifi ? session->writeWifiMac(mac) : session->writeFeMac(mac);
    unwritten->removeAll(mac);
    if (supply) {
        QString problem;
        switch (settlementOf(result)) {
        case ClaimSettlement::Confirm:
            if (!supply->confirm(mac, plan.operatorName, &problem))
                return fail(Failure::PoolEmpty, problem);
            break;
        case ClaimSettlement::Release:
            supply->release(mac);
            break;
        case ClaimSettlement::Quarantine:
            supply->quarantine(mac, StepTexts::message(request, result));
            break;
        }
    }
    if (!result.ok())
        return failStep(request, result);
    outcome.data.insert(wifi ? QStringLiteral("wifiMac") : QStringLiteral("feMac"), mac);
    (wifi ? info.wifi.mac : info.fe.mac) = QByteArray::fromHex(QString(mac).remove(':').toLatin1());
    stepDone(wifi ? QStringLiteral("wifi-mac") : QStringLiteral("fe-mac"));
    return true;
}

// Reads the written settings back and compares them with what was written.
bool UnitJob::verify()
{
    if (!plan.verify)
        return true;
    const bool wifiWritten =
        plan.ssid || !wifiPassword.isEmpty() || outcome.data.contains(QStringLiteral("wifiMac"));
    WifiInfo wifi = info.wifi;
    FeInfo fe = info.fe;
    if (wifiWritten) {
        const StepResult result = session->readWifi(&wifi);
        if (!result.ok())
            return failStep(SessionRequest::ReadWifi, result);
    }
    if (outcome.data.contains(QStringLiteral("feMac"))) {
        const StepResult result = session->readFe(&fe);
        if (!result.ok())
            return failStep(SessionRequest::ReadFe, result);
    }
    QStringList wrong;
    if (plan.ssid && wifi.ssid != shownText(*plan.ssid, 16))
        wrong << QStringLiteral("SSID");
    if (!wifiPassword.isEmpty() &&
        wifi.password != shownText(wifiPassword, Registers::WIFI_PASSWORD_FIELD_BYTES))
        wrong << tr("Wifi密码");
    const QString wifiMac = outcome.data.value(QStringLiteral("wifiMac")).toString();
    if (!wifiMac.isEmpty() && formatMacColons(wifi.mac) != wifiMac)
        wrong << tr("WiFi的MAC地址");
    const QString feMac = outcome.data.value(QStringLiteral("feMac")).toString();
    if (!feMac.isEmpty() && formatMacColons(fe.mac) != feMac)
        wrong << tr("FE的MAC地址");
    if (!wrong.isEmpty())
        return fail(Failure::VerifyMismatch, tr("回读不一致：%1").arg(wrong.join(tr("，"))));
    stepDone(QStringLiteral("verify"));
    return true;
}

bool UnitJob::pullLog()
{
    if (plan.logDir.isEmpty())
        return true;
    const LogRequestResult request = session->requestLog();
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
    if (plan.logPerUnit)
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
    switch (result.outcome) {
    case UpgradeOutcome::Upgraded:
        break;
    case UpgradeOutcome::Rejected:
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
    stepDone(QStringLiteral("upgrade"));
    // The versions the module runs now, when it still answers.
    VersionInfo now;
    haveAfter = session->readVersions(&now).ok();
    if (haveAfter)
        after = now;
    return true;
}

QJsonObject UnitJob::record() const
{
    QJsonObject record{
        {QStringLiteral("time"), QDateTime::currentDateTime().toString(Qt::ISODate)},
        {QStringLiteral("station"), plan.station},
        {QStringLiteral("port"), outcome.port},
        {QStringLiteral("account"), plan.account},
        {QStringLiteral("steps"), steps},
        {QStringLiteral("ok"), outcome.ok()},
        {QStringLiteral("seconds"), qRound(clock.elapsed() / 10.0) / 100.0},
    };
    if (!plan.slot.isEmpty())
        record.insert(QStringLiteral("slot"), plan.slot);
    if (!outcome.ok()) {
        record.insert(QStringLiteral("error"), failureKey(outcome.failure));
        record.insert(QStringLiteral("failedStep"), currentStep);
        record.insert(QStringLiteral("message"), outcome.message);
    }
    if (haveInfo)
        record.insert(QStringLiteral("before"), versionsJson(info.version));
    if (haveAfter)
        record.insert(QStringLiteral("after"), versionsJson(after));
    for (const char *key : {"wifiMac", "feMac", "file", "digestOk"}) {
        const QString name = QString::fromLatin1(key);
        if (outcome.data.contains(name))
            record.insert(name == QLatin1String("file")       ? QStringLiteral("logFile")
                          : name == QLatin1String("digestOk") ? QStringLiteral("logDigestOk")
                                                              : name,
                          outcome.data.value(name));
    }
    if (plan.firmware)
        record.insert(QStringLiteral("firmwareSha256"),
                      QString::fromLatin1(plan.firmware->sha256.toHex()));
    return record;
}

} // namespace

PortOutcome runUnitJob(const UnitPlan &plan, const QString &port, UnitSink *sink,
                       const CancelFlag *cancel)
{
    UnitJob job(plan, port, sink, cancel);
    return job.run(nullptr);
}

PortOutcome runUnitJobOver(SessionLink *link, const UnitPlan &plan, const QString &port,
                           UnitSink *sink, const CancelFlag *cancel)
{
    UnitJob job(plan, port, sink, cancel);
    return job.run(link);
}
