#pragma once

// One unit's work, on the unit's own thread: open the line, log in (with
// the forced password changes), read the device, then the plan's steps in
// the order login, info, SSID, Wi-Fi password, login password, MAC
// addresses, read-back, log pull, upgrade, logout. Every module command of
// a front end is a subset of that sequence; a provision runs what its
// recipe names. The job reports to a sink as it goes and hands it the
// unit's record at the end.

#include "provision/unitoutcome.h"
#include "transfer/firmwareimage.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class CancelFlag;
class SessionLink;
class UnitSink;

// What every unit does; read-only while the unit threads run.
struct UnitPlan {
    // What the run does with the steps' results.
    enum class Mode {
        Single,    // one command: a pulled log's size is "bytes"
        Provision, // a whole unit: a Wi-Fi password the unit meets is kept, "logBytes"
    };
    Mode mode = Mode::Single;
    QString commandName;     // the front end's name for the run, handed to unitBegan()
    bool showDevice = false; // the result carries the device as read, with what was written
    QString account;
    QString password;
    QString newLoginPassword; // empty: a demanded login-password change stops the unit
    QString newWifiPassword;  // empty: a factory Wi-Fi password stops the unit
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
    int claimSeconds = 600;                        // how long a claim of pool addresses holds them
    std::shared_ptr<const FirmwareImage> firmware; // upgraded when set; shared by every unit
    QString logDir;                                // pulled when not empty
    bool logPerUnit = false; // the log file's name carries the port and the time
    bool verify = false;
    QString station;
    QString slot; // the station slot that runs the unit; the record's "slot" when set
};

// Runs `plan` on `port`, reporting to `sink`. `cancel` ends it early: a
// running transfer is stopped, the session logged out, the port closed.
PortOutcome runUnitJob(const UnitPlan &plan, const QString &port, UnitSink *sink,
                       const CancelFlag *cancel);

// The same over `link`, already open to the module of `port`; the caller
// keeps the link.
PortOutcome runUnitJobOver(SessionLink *link, const UnitPlan &plan, const QString &port,
                           UnitSink *sink, const CancelFlag *cancel);
