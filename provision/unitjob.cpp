#include "provision/unitjob_p.h"

#include "crypto/pbkdf2.h"
#include "provision/secrets.h"
#include "provision/steptexts.h"
#include "session/blockingseriallink.h"

#include <QUuid>

QString portFilePart(const QString &port)
{
    QString part = port;
    if (part.startsWith(QLatin1String("/dev/")))
        part = part.mid(5);
    return part.replace(QLatin1Char('/'), QLatin1Char('_'));
}

QString shownText(const QString &text, int shownBytes)
{
    return decodeModuleText(text.toLocal8Bit().left(shownBytes));
}

UnitJob::UnitJob(const UnitPlan &plan, const QString &port, UnitSink *sink,
                 const CancelFlag *cancel)
    : plan(plan), sink(sink), cancel(cancel)
{
    outcome.port = port;
}

void UnitJob::blockSent(int, int, int, qint64 bytesAcknowledged)
{
    sink->transferMoved(outcome.port, TransferPhase::Upgrade, bytesAcknowledged, transferTotal,
                        rate(bytesAcknowledged));
}

void UnitJob::logBlockWritten(qint64 written, qint64)
{
    sink->transferMoved(outcome.port, TransferPhase::Log, written, transferTotal, rate(written));
}

double UnitJob::rate(qint64 done) const
{
    const qint64 ms = transferClock.elapsed();
    return ms > 0 ? done * 1000.0 / ms : 0.0;
}

PortOutcome UnitJob::run(SessionLink *given)
{
    clock.start();
    unitId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    startedAt = QDateTime::currentDateTimeUtc();
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
    addResultFacts();
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
    if (result.outcome == StepOutcome::ErrorReply &&
        result.errorCode == ErrorCode::WRONG_CREDENTIALS)
        return logInWithNewPassword(result);
    if (!result.ok())
        return failStep(SessionRequest::Login, result);
    loggedIn = true;
    stepDone(QStringLiteral("login"));
    return true;
}

// An earlier run of the same command may have changed the login password
// and stopped after it: the new password is tried once, no more, so that
// reruns never lock the account.
bool UnitJob::logInWithNewPassword(const CredentialResult &refused)
{
    if (plan.newLoginPassword.isEmpty() || plan.newLoginPassword == password)
        return failStep(SessionRequest::Login, refused);
    const CredentialResult again = session->login(plan.account, plan.newLoginPassword);
    if (!again.ok())
        return failStep(SessionRequest::Login, refused);
    password = plan.newLoginPassword;
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
    // Nothing changes unless the run can finish every change the module demands.
    if (wifiChangeUnprovided())
        return fail(
            Failure::ForcedPasswordChange,
            tr("Wifi密码为初始密码，需要修改：请给出--new-wifi-password-file；登录密码未修改"),
            refused.errorCode);
    if (!changeLogin(replacement))
        return false;
    const CredentialResult again = session->login(plan.account, password);
    if (!again.ok())
        return failStep(SessionRequest::Login, again);
    loggedIn = true;
    stepDone(QStringLiteral("login"));
    return true;
}

// The restricted session can read the Wi-Fi block: true when the module
// still has its factory Wi-Fi password and the run has no replacement.
bool UnitJob::wifiChangeUnprovided()
{
    if (!wifiPassword.isEmpty() || !plan.newWifiPassword.isEmpty())
        return false;
    WifiInfo wifi;
    const StepResult read = session->readWifi(&wifi);
    return read.ok() && wifi.password == QLatin1String(ModuleLine::FACTORY_PASSWORD);
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
    loginPasswordChanged = true;
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
    if (info.wifi.password == QLatin1String(ModuleLine::FACTORY_PASSWORD) &&
        wifiPassword.isEmpty()) {
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
    wifiPasswordChanged = true;
    stepDone(QStringLiteral("wifi-password"));
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

PortOutcome runUnitJob(const UnitPlan &plan, const QString &port, UnitSink *sink,
                       const CancelFlag *cancel)
{
    UnitJob job(plan, port, sink, cancel);
    const PortOutcome outcome = job.run(nullptr);
    releaseCryptoThreadState(); // the unit's thread may end now
    return outcome;
}

PortOutcome runUnitJobOver(SessionLink *link, const UnitPlan &plan, const QString &port,
                           UnitSink *sink, const CancelFlag *cancel)
{
    UnitJob job(plan, port, sink, cancel);
    const PortOutcome outcome = job.run(link);
    releaseCryptoThreadState();
    return outcome;
}
