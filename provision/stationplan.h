#pragma once

// The unit plan of a station, the same for both front ends: the passwords
// from the station's files, the recipe's steps, the firmware image read
// once. Everything is checked before a port is opened.

#include "provision/stationfile.h"
#include "provision/unitjob.h"

#include <QCoreApplication>
#include <QString>

class StationPlan
{
    Q_DECLARE_TR_FUNCTIONS(StationPlan)

public:
    // Builds the provisioning plan of `file` for `account`. An empty
    // passwordFile reads the login password from standard input. False with
    // the reason for a password that cannot be read or breaks the policy,
    // a recipe that cannot be read, a firmware file that cannot be sent, an
    // SSID that does not fit, a log folder that cannot be written, or pool
    // addresses without an operator.
    static bool build(const StationFile &file, const QString &account, UnitPlan *plan,
                      QString *problem);

    // The first eight hex digits of the SHA-256 of the file at `path`;
    // empty when it cannot be read.
    static QString shortDigest(const QString &path);
};
