#pragma once

// What happened to one port: the stable failure key that scripts read, the
// module's error code where it gave one, the human text and the command's
// data. The exit status of the whole run is the highest status of its ports.

#include <QJsonObject>
#include <QString>

enum class Failure {
    None,
    Timeout,
    NoPort,
    LoginRefused,
    AccountLocked,
    ForcedPasswordChange,
    Checksum,
    ModuleError,
    RefusedInput,
    DigestMismatch,
    VerifyMismatch,
    PoolEmpty,
    PoolUnavailable, // unreachable, missing, without its tables, or lost during the run
    Cancelled,
    PortLost, // the port went away during the run (an unplugged adapter)
};

namespace ExitStatus
{
constexpr int OK = 0;
constexpr int FAILED = 1;    // an operation failed on a port
constexpr int USAGE = 2;     // usage or refused input; nothing was sent
constexpr int NO_MODULE = 3; // the port cannot be opened, went away, or the module never answers
constexpr int LOGIN = 4;     // login refused, account locked, forced change not allowed
constexpr int POOL = 5;      // the MAC pool is unavailable or has too few free addresses
constexpr int INTERRUPTED = 130;
} // namespace ExitStatus

// "timeout", "no-port", ... ; empty for Failure::None.
QString failureKey(Failure failure);

struct PortOutcome {
    QString port;
    Failure failure = Failure::None;
    int code = -1;               // the module's error code, -1 when there is none
    QString message;             // human text, already translated
    QJsonObject data;            // the command's data: "device", "bytes", "file", ...
    bool moduleAnswered = false; // some exchange got a reply

    bool ok() const { return failure == Failure::None; }
    // 0, 1, 2, 3, 4, 5 or 130 by the failure (a lost port is 3). A time-out
    // before the module ever answered means it never answers (3); a later
    // one is a failed operation (1).
    int exitStatus() const;
};

// The "result" line's fields: "ok", "error", "code", "message" and the data.
QJsonObject resultFields(const PortOutcome &outcome);
