#include "provision/macsupply.h"

#include "macpool/macpool.h"

MacSupply::MacSupply(const QString &poolUrl)
    : pool(std::make_unique<MacPool>(poolUrl.isEmpty() ? localPoolUrl() : poolUrl))
{
}

MacSupply::~MacSupply() = default;

bool MacSupply::isOpen(QString *problem) const
{
    if (pool->isOpen())
        return true;
    *problem = tr("无法打开MAC地址池%1：%2").arg(pool->url().redacted(), pool->openError());
    return false;
}

bool MacSupply::claim(int count, const QString &station, const QString &operatorName,
                      QStringList *macs, QString *problem)
{
    QString error;
    const QStringList taken = pool->claim(count, station, operatorName, error);
    if (error.isEmpty() && taken.size() == count) {
        *macs = taken;
        return true;
    }
    for (const QString &mac : taken)
        release(mac);
    *problem = error.isEmpty() ? tr("MAC地址池中的空闲地址不足") : error;
    return false;
}

bool MacSupply::confirm(const QString &mac, const QString &operatorName, QString *problem)
{
    MacUsageRecord record;
    record.MacAddr = mac;
    record.Operator = operatorName;
    QString error;
    if (pool->confirm(mac, record, error))
        return true;
    *problem = error;
    return false;
}

void MacSupply::release(const QString &mac)
{
    QString error;
    pool->release(mac, error);
}

void MacSupply::quarantine(const QString &mac, const QString &why)
{
    QString error;
    pool->quarantine(mac, why, error);
}
