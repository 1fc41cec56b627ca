#include "app/kbmaint_macs.h"

#include "macpool/macstore.h"

// Built on the local store until the shared pool is in: a claim only looks
// at free addresses, a confirm marks one used.
class MacPool
{
};

MacSupply::MacSupply(const QString &) {}

MacSupply::~MacSupply() = default;

bool MacSupply::isOpen(QString *) const
{
    return true;
}

bool MacSupply::claim(int count, const QString &, const QString &, QStringList *macs,
                      QString *problem)
{
    QString error;
    const QString list = takeUnusedMacs(error, count);
    const QStringList taken = list.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (!error.isEmpty() || taken.size() < count) {
        *problem = error.isEmpty() ? tr("MAC地址池中的空闲地址不足") : error;
        return false;
    }
    *macs = taken;
    return true;
}

bool MacSupply::confirm(const QString &mac, const QString &operatorName, QString *problem)
{
    MacUsageRecord record;
    record.MacAddr = mac;
    record.Operator = operatorName;
    QString error;
    if (markMacUsed(record, error))
        return true;
    *problem = error;
    return false;
}

void MacSupply::release(const QString &) {}

void MacSupply::quarantine(const QString &, const QString &) {}
