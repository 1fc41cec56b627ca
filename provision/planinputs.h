#pragma once

// Everything a unit's plan is read and checked from before a byte goes to a
// module, for every front end: the password files, the recipe, the firmware
// file, the SSID, the MAC addresses, the log folder, the ports and the pool
// URL. Each check is empty when the input is acceptable, or says why not.

#include "provision/unitjob.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

struct Recipe;

class PlanInputs
{
    Q_DECLARE_TR_FUNCTIONS(InputCheck)

public:
    // The login password from `loginFile` (empty: standard input) and the
    // replacements of the forced changes (a file may be empty: none), which
    // must pass the password policy; plan->account must be set.
    static bool readPasswords(const QString &loginFile, const QString &newLoginFile,
                              const QString &newWifiFile, UnitPlan *plan, QString *problem);
    // The Wi-Fi password to write, from its file, checked against the policy.
    static bool readWifiPassword(const QString &path, UnitPlan *plan, QString *problem);
    // The firmware image, read once.
    static bool setFirmware(const QString &path, UnitPlan *plan, QString *problem);
    // What a recipe asks of every unit; a recipe's operator replaces the plan's.
    static bool applyRecipe(const Recipe &recipe, UnitPlan *plan, QString *problem);

    static QString firmwareProblem(const QString &path);
    // Empty, with a zero byte, not UTF-8, a lone surrogate or over 32 bytes.
    static QString ssidProblem(const QString &ssid);
    // Empty unless two of `ports` name one device (by its resolved path and
    // device number), which the message names.
    static QString portsProblem(const QStringList &ports);
    static QString logDirectoryProblem(const QString &path);
    // A MAC address of six bytes, bare or grouped by ":" or "-", and neither
    // a group, the broadcast nor the zero address; its colon form in *colon.
    static QString macProblem(const QString &text, QString *colon);
    // A pool URL that names no pool, or carries a password (which belongs in
    // ~/.pgpass or PGPASSFILE).
    static QString poolUrlProblem(const QString &url);
};
