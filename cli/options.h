#pragma once

// kbmaint's command line, parsed with CLI11:
//   kbmaint [--json] [--port P]... [--account A] (--password-file F | --password-stdin)
//           [--new-login-password-file F] [--new-wifi-password-file F] COMMAND ...
// Passwords are never options themselves, only the files that hold them.

#include <QString>
#include <QStringList>

#include <string>

enum class Command {
    Ports,
    Info,
    SetSsid,
    SetWifiPassword,
    SetLoginPassword,
    WriteMac,
    Upgrade,
    PullLog,
    Provision,
    PoolGenerate,
    PoolStats,
    PoolList,
    PoolRelease,
    RecordsList,
    RecordsYield,
    RecordsReport,
    RecordsFlush,
};

struct CliOptions {
    bool json = false;
    QStringList ports;
    QString account = QStringLiteral("admin");
    QString passwordFile;
    bool passwordStdin = false;
    QString newLoginPasswordFile;
    QString newWifiPasswordFile;

    Command command = Command::Ports;
    bool showSecrets = false; // info
    QString ssid;             // set-ssid
    QString file;             // set-wifi-password, set-login-password, upgrade
    QString directory;        // pull-log
    QString wifiMac;          // write-mac
    QString feMac;
    bool fromPool = false;
    QString operatorName;
    QString poolUrl;        // empty: the local pool
    int claimSeconds = 600; // write-mac, provision
    bool reassign = false;  // write-mac, provision
    QString recipe;         // provision
    QString stationFile;    // provision: the station's slots instead of ports
    bool watch = false;
    QString report;
    QString rangeStart; // pool generate
    int rangeCount = 0;
    int step = 1;
    int headLength = 6;
    enum class Listing { All, Free, Used } listing = Listing::All; // pool list
    int page = 1;
    QString releaseMac; // pool release
    QString reason;
    QString since; // records: a date or an ISO time
    QString until;
    QString station;
    QString slot;
    QString mac;
    bool failedOnly = false;
    bool csv = false;
    QString by;   // records yield
    QString html; // records report
};

// The subcommand's name as typed ("set-ssid", "pool list").
QString commandName(Command command);
// Whether the command talks to modules (and so needs ports and a login).
bool talksToModules(Command command);

// Parses argv into *options. Returns -1 when the command is to run;
// otherwise the exit status (0 after --help, 2 for a usage error), with
// the help or the error text in *out or *err.
int parseCommandLine(int argc, char **argv, CliOptions *options, std::string *out,
                     std::string *err);
