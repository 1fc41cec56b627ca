#pragma once

// Everything kbmaint reads and checks before a byte goes to a module: the
// password files, the recipe, the firmware file, the SSID, the MAC
// addresses, the log directory. Any fault refuses the run (exit 2).

#include "cli/options.h"
#include "provision/unitjob.h"

#include <QCoreApplication>
#include <QString>

class InputCheck
{
    Q_DECLARE_TR_FUNCTIONS(InputCheck)

public:
    // Builds the plan of a module command; false with the reason.
    static bool preparePlan(const CliOptions &options, UnitPlan *plan, QString *problem);

    // The single checks, each empty when the input is acceptable.
    static QString firmwareProblem(const QString &path);
    static QString ssidProblem(const QString &ssid);
    // Empty unless two of `ports` name one device (by its resolved path and
    // device number), which the message names.
    static QString portsProblem(const QStringList &ports);
    static QString logDirectoryProblem(const QString &path);
    // A MAC address of six bytes, bare or grouped by ":" or "-"; its colon
    // form in *colon.
    static QString macProblem(const QString &text, QString *colon);
    // A pool URL that names no pool, or carries a password (which belongs in
    // ~/.pgpass or PGPASSFILE).
    static QString poolUrlProblem(const QString &url);
};
