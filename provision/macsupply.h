#pragma once

// The MAC addresses a port writes from the pool: claimed together before
// anything is sent, then each confirmed once the module accepted it,
// released when it never reached the module, or quarantined when the
// outcome is unknown. One object per port thread.

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <memory>

class MacPool;

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

    // Whether the pool opened; the reason otherwise.
    bool isOpen(QString *problem) const;

    // Claims `count` addresses as one claim. False with the reason when the
    // pool has fewer (nothing stays claimed then).
    bool claim(int count, const QString &station, const QString &operatorName, QStringList *macs,
               QString *problem);
    bool confirm(const QString &mac, const QString &operatorName, QString *problem);
    void release(const QString &mac);
    void quarantine(const QString &mac, const QString &why);

private:
    std::unique_ptr<MacPool> pool;
};
