#pragma once

// A production station: which slots of the fixture run units, and the files
// every unit of the station uses. A JSON object such as
//   {"station": "line4-st2", "operator": "wang", "recipe": "line4.json",
//    "pool": "sqlite:pool.db", "report": "units.jsonl", "passwordFile": "admin.pw",
//    "newLoginPasswordFile": "line.pw", "newWifiPasswordFile": "wifi.pw",
//    "autoStart": true,
//    "slots": [{"name": "A1", "port": "/dev/serial/by-path/...-port0"},
//              {"name": "A2", "serial": "FT4XK2QZ"}]}
// Paths count from the file's folder. Both front ends read it here.

#include <QCoreApplication>
#include <QString>
#include <QVector>

// One slot of the fixture: its port by path (a symbolic link is followed
// each time the port is opened) or by the USB adapter's serial number.
struct StationSlot {
    QString name;
    QString port;   // absolute path, empty when the slot names a serial number
    QString serial; // empty when the slot names a path
};

struct StationFile {
    QString path; // the file itself, absolute
    QString station;
    QString operatorName;
    QString recipe; // absolute paths from here on; empty when not given
    QString pool;   // a pool URL; a relative sqlite: file counts from the folder
    QString report;
    QString passwordFile;
    QString newLoginPasswordFile;
    QString newWifiPasswordFile;
    bool autoStart = false;
    QVector<StationSlot> slotList; // in the file's order
};

class StationFileReader
{
    Q_DECLARE_TR_FUNCTIONS(StationFileReader)

public:
    // Parses `json`, resolving paths against `folder`. False with the reason
    // in *problem for bad JSON, an unknown key, a value of the wrong type, a
    // slot without a name or with a name twice, a slot with neither or both
    // of "port" and "serial", or a recipe or password file that is missing.
    // Nothing about the ports is checked: an absent port is a waiting slot.
    static bool parse(const QByteArray &json, const QString &folder, StationFile *file,
                      QString *problem);
    // Reads and parses the file at `path`.
    static bool load(const QString &path, StationFile *file, QString *problem);
};
