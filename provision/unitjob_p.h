#pragma once

// The unit job's inside, shared by its files: unitjob.cpp (the run, the
// login and the settings), unitjob_macs.cpp (the MAC addresses and the
// pool), unitjob_transfer.cpp (log pull and upgrade), unitrecord.cpp (the
// result and the record). Not for use outside provision/.

#include "provision/unitjob.h"
#include "provision/unitsink.h"
#include "session/modulesession.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

class MacSupply;

// "/dev/pts/3" → "pts_3", a name part for files of that port.
QString portFilePart(const QString &port);
// The text that the module shows for a text field written as `text`:
// `shownBytes` bytes of its local encoding, decoded as the reads do.
QString shownText(const QString &text, int shownBytes);
// The device as the result shows it.
QJsonObject deviceJson(const DeviceInfo &info, bool showSecrets);

class UnitJob : public SessionObserver
{
    Q_DECLARE_TR_FUNCTIONS(UnitJob)

public:
    UnitJob(const UnitPlan &plan, const QString &port, UnitSink *sink, const CancelFlag *cancel);

    // Runs over `link`, or over the unit's port opened here when null.
    PortOutcome run(SessionLink *link);

    // Transfer progress, throttled by the sink.
    void blockSent(int, int, int, qint64 bytesAcknowledged) override;
    void logBlockWritten(qint64 written, qint64) override;

private:
    void runSteps();
    bool logIn();
    bool logInWithNewPassword(const CredentialResult &refused);
    bool setLoginPassword();
    bool forcedLoginChange(const CredentialResult &refused);
    bool wifiChangeUnprovided();
    bool changeLogin(const QString &password);
    bool readInfo();
    bool writeSsid();
    bool writeWifiPassword();
    bool writeMacs();
    bool keepHeldMac(bool wifi, MacSupply *supply, bool *kept);
    bool writeMac(bool wifi, const QString &mac, MacSupply *supply, QStringList *unwritten);
    bool settleMac(SessionRequest request, const QString &mac, const StepResult &result,
                   MacSupply *supply);
    bool verify();
    bool pullLog();
    bool upgrade();
    void addResultFacts();
    QJsonObject record() const;

    // Records a failed step; false, so callers can `return fail(...)`.
    bool fail(Failure failure, const QString &message, int code = -1);
    bool failStep(SessionRequest request, const StepResult &result);
    void stepDone(const QString &name);
    void noteAnswer(const StepResult &result);
    double rate(qint64 done) const;

    const UnitPlan &plan;
    UnitSink *sink;
    const CancelFlag *cancel;
    ModuleSession *session = nullptr;
    PortOutcome outcome;
    QString unitId;
    QDateTime startedAt;
    QString password;
    QString wifiPassword;
    bool loggedIn = false;
    bool loginPasswordChanged = false;
    bool wifiPasswordChanged = false;
    DeviceInfo info;
    VersionInfo after;
    bool haveInfo = false;
    bool haveAfter = false;
    QStringList macsKept;
    QJsonArray steps;
    QString currentStep; // the step that runs, for a failure's record
    QElapsedTimer clock;
    QElapsedTimer transferClock;
    qint64 transferTotal = 0;
};
