#pragma once

// The MAC addresses a port writes from the pool: claimed together before
// anything is sent, each moved to writing (committed) before its write
// request goes out, then confirmed once the module accepted it, released
// when it never reached the module, or quarantined when the outcome is
// unknown. One object per port thread.
//
// Failures come back as a Failure and one line of text: PoolUnavailable
// when the database failed or the connection was lost (the driver's text
// goes to the debug log only), PoolEmpty only when the pool answered and
// had too few free addresses, None when the pool answered and refused the
// step for the reason given (an address that is no longer this port's).

#include "macpool/macpool.h"
#include "provision/unitoutcome.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <memory>

class MacSupply
{
    Q_DECLARE_TR_FUNCTIONS(MacSupply)

public:
    // Opens the pool named by `poolUrl` (empty: the local pool) on the
    // calling thread.
    explicit MacSupply(const QString &poolUrl);
    ~MacSupply();
    MacSupply(const MacSupply &) = delete;
    MacSupply &operator=(const MacSupply &) = delete;

    // Opens the pool on the calling thread and checks it before any port is
    // opened: reachable (a missing SQLite file is not created), tables
    // present, at least `needed` free addresses. None, PoolUnavailable or
    // PoolEmpty with one line in *problem.
    static Failure checkPool(const QString &poolUrl, int needed, QString *problem);

    // Whether the pool opened; the reason otherwise.
    bool isOpen(QString *problem) const;

    // Claims `count` addresses as one claim for `claimSeconds`, keeping the
    // station, the port and the operator. False when the pool has fewer
    // (PoolEmpty) or failed (PoolUnavailable); nothing stays claimed then.
    bool claim(int count, const QString &station, const QString &port, const QString &operatorName,
               int claimSeconds, QStringList *macs, Failure *failure, QString *problem);
    // Records, committed, that the write request of `mac` is about to go
    // out. False: the write must not go out.
    bool beginWrite(const QString &mac, Failure *failure, QString *problem);
    // The module accepted `mac`: used. A false return with PoolUnavailable
    // leaves the address writing, so that it becomes unknown at expiry and
    // is never handed out again.
    bool confirm(const QString &mac, const QString &operatorName, Failure *failure,
                 QString *problem);
    // Where `mac` stands (read first: Used, Writing or Unknown on a module
    // are kept and recorded with markSeenOnModule; Free is quarantined).
    // NotInPool with PoolUnavailable when the database failed.
    MacState stateOf(const QString &mac, Failure *failure, QString *problem);
    // A module holds `mac`: recorded used.
    bool markSeenOnModule(const QString &mac, const QString &station, const QString &port,
                          const QString &operatorName, Failure *failure, QString *problem);
    // A module's address that --reassign replaces: stays used, recorded replaced.
    bool markReplaced(const QString &mac, Failure *failure, QString *problem);

    // The earlier calls, kept for the unit job until it moves to the ones above.
    bool claim(int count, const QString &station, const QString &operatorName, QStringList *macs,
               QString *problem);
    bool confirm(const QString &mac, const QString &operatorName, QString *problem);
    void release(const QString &mac);
    void quarantine(const QString &mac, const QString &why);

private:
    // Sets *failure and *problem after a failed pool call: PoolUnavailable
    // when the pool no longer answers, None with `error` otherwise.
    bool failed(const QString &mac, const QString &error, Failure *failure, QString *problem);
    QString unavailable(const QString &driverText) const;

    std::unique_ptr<MacPool> pool;
};
