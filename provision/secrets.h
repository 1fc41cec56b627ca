#pragma once

// Passwords for kbmaint: never from the command line, never in its output.
// A password is the first line of a file, or of standard input, with its
// line end stripped. New passwords pass the dialogs' policy.

#include <QCoreApplication>
#include <QString>

class Secrets
{
    Q_DECLARE_TR_FUNCTIONS(Secrets)

public:
    // The first line of the file at `path` (or of standard input when
    // `path` is empty). False with the reason when the file cannot be read
    // or the line is empty.
    static bool readFirstLine(const QString &path, QString *secret, QString *problem);

    // Empty when `password` may replace the login password `old` of
    // `account`: 8 to 16 characters, strength score 3 or more, neither the
    // account nor the old password. Otherwise the reason.
    static QString loginPasswordProblem(const QString &password, const QString &account,
                                        const QString &old);

    // Empty when `password` may replace the Wi-Fi password `old` of a
    // module with `ssid`: at least 8 characters and at most 32 bytes in the
    // local encoding, score 3 or more, neither the old password nor the SSID
    // (either may be unknown yet: empty is not compared).
    static QString wifiPasswordProblem(const QString &password, const QString &old,
                                       const QString &ssid);
};
