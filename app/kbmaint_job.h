#pragma once

// One port's work, in the port's own thread: open the line, log in (with
// the forced password changes), read the device, then the command's steps
// in the order login, info, SSID, Wi-Fi password, login password, MAC
// addresses, read-back, log pull, upgrade, logout. Every command is a
// subset of that sequence; provision runs what its recipe names.

#include "app/kbmaint_options.h"
#include "app/kbmaint_outcome.h"

#include <QByteArray>
#include <QString>

#include <optional>

class CancelFlag;
class Console;
class ReportFile;

// What every port does; read-only while the port threads run.
struct JobPlan {
    Command command = Command::Info;
    QString account;
    QString password;
    QString newLoginPassword; // empty: a demanded login-password change stops the port
    QString newWifiPassword;  // empty: a factory Wi-Fi password stops the port
    bool showSecrets = false;
    std::optional<QString> ssid;
    QString wifiPassword;  // written when not empty
    QString loginPassword; // set-login-password
    QString wifiMac;       // given addresses, colon form
    QString feMac;
    bool poolWifiMac = false; // taken from the pool as one claim
    bool poolFeMac = false;
    QString operatorName;
    QString poolUrl;
    QString firmware; // upgraded when not empty
    QByteArray firmwareSha256;
    QString logDir;          // pulled when not empty
    bool logPerUnit = false; // the log file's name carries the port and the time
    bool verify = false;
    ReportFile *report = nullptr;
    QString station;
};

// Runs `plan` on `port`, reporting to `console` as it goes and appending
// the unit's record to the plan's report. `cancel` ends it early: a running
// transfer is stopped, the session logged out, the port closed.
PortOutcome runPortJob(const JobPlan &plan, const QString &port, Console *console,
                       const CancelFlag *cancel);
