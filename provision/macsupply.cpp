#include "provision/macsupply.h"

#include "base/logging.h"

#include <QDebug>
#include <QFileInfo>

namespace
{
QString urlOrLocal(const QString &poolUrl)
{
    return poolUrl.isEmpty() ? localPoolUrl() : poolUrl;
}
} // namespace

MacSupply::MacSupply(const QString &poolUrl) : pool(std::make_unique<MacPool>(urlOrLocal(poolUrl)))
{
}

MacSupply::~MacSupply() = default;

Failure MacSupply::checkPool(const QString &poolUrl, int needed, QString *problem)
{
    MacPool checked(urlOrLocal(poolUrl));
    const QString shown = checked.url().redacted();
    QString error;
    if (!checked.isOpen()) {
        qCDebug(lcMacpool).noquote() << shown << checked.openError();
        const bool missing =
            checked.url().kind == MacPoolUrl::SQLITE && !QFileInfo::exists(checked.url().path);
        *problem = missing ? tr("MAC地址池文件%1不存在").arg(checked.url().path)
                           : tr("无法连接MAC地址池%1").arg(shown);
        return Failure::PoolUnavailable;
    }
    if (!checked.hasTables(error)) {
        qCDebug(lcMacpool).noquote() << shown << error;
        *problem = tr("MAC地址池%1中没有地址表").arg(shown);
        return Failure::PoolUnavailable;
    }
    const MacPoolStats counts = checked.stats(error);
    if (!error.isEmpty()) {
        qCDebug(lcMacpool).noquote() << shown << error;
        *problem = tr("MAC地址池%1不可用").arg(shown);
        return Failure::PoolUnavailable;
    }
    if (counts.free < needed) {
        *problem = tr("MAC地址池中只有%1个空闲地址，需要%2个").arg(counts.free).arg(needed);
        return Failure::PoolEmpty;
    }
    return Failure::None;
}

bool MacSupply::isOpen(QString *problem) const
{
    if (pool->isOpen())
        return true;
    *problem = tr("无法打开MAC地址池%1：%2").arg(pool->url().redacted(), pool->openError());
    return false;
}

QString MacSupply::unavailable(const QString &driverText) const
{
    qCDebug(lcMacpool).noquote() << pool->url().redacted() << driverText;
    return tr("MAC地址池%1不可用").arg(pool->url().redacted());
}

bool MacSupply::failed(const QString &mac, const QString &error, Failure *failure, QString *problem)
{
    QString probe;
    pool->stateOf(mac, probe);
    const bool lost = !probe.isEmpty() || !pool->isOpen();
    *failure = lost ? Failure::PoolUnavailable : Failure::None;
    *problem = lost ? unavailable(error) : error;
    return false;
}

bool MacSupply::claim(int count, const QString &station, const QString &port,
                      const QString &operatorName, int claimSeconds, QStringList *macs,
                      Failure *failure, QString *problem)
{
    QString error;
    const QStringList taken =
        pool->isOpen() ? pool->claim(count, station, port, operatorName, claimSeconds, error)
                       : QStringList();
    if (!pool->isOpen())
        error = pool->openError();
    if (error.isEmpty() && taken.size() == count) {
        *macs = taken;
        return true;
    }
    for (const QString &mac : taken)
        release(mac);
    *failure = error.isEmpty() ? Failure::PoolEmpty : Failure::PoolUnavailable;
    *problem = error.isEmpty() ? tr("MAC地址池中的空闲地址不足") : unavailable(error);
    return false;
}

bool MacSupply::beginWrite(const QString &mac, Failure *failure, QString *problem)
{
    QString error;
    return pool->beginWrite(mac, error) || failed(mac, error, failure, problem);
}

bool MacSupply::confirm(const QString &mac, const QString &operatorName, Failure *failure,
                        QString *problem)
{
    MacUsageRecord record;
    record.MacAddr = mac;
    record.Operator = operatorName;
    QString error;
    return pool->confirm(mac, record, error) || failed(mac, error, failure, problem);
}

MacState MacSupply::stateOf(const QString &mac, Failure *failure, QString *problem)
{
    QString error;
    const MacState state = pool->stateOf(mac, error);
    if (!error.isEmpty()) {
        *failure = Failure::PoolUnavailable;
        *problem = unavailable(error);
    }
    return state;
}

bool MacSupply::markSeenOnModule(const QString &mac, const QString &station, const QString &port,
                                 const QString &operatorName, Failure *failure, QString *problem)
{
    QString error;
    return pool->markSeenOnModule(mac, station, port, operatorName, error) ||
           failed(mac, error, failure, problem);
}

bool MacSupply::markReplaced(const QString &mac, Failure *failure, QString *problem)
{
    QString error;
    return pool->markReplaced(mac, error) || failed(mac, error, failure, problem);
}

bool MacSupply::claim(int count, const QString &station, const QString &operatorName,
                      QStringList *macs, QString *problem)
{
    Failure ignored = Failure::None;
    return claim(count, station, QString(), operatorName, MacPool::DEFAULT_CLAIM_SECONDS, macs,
                 &ignored, problem);
}

bool MacSupply::confirm(const QString &mac, const QString &operatorName, QString *problem)
{
    Failure ignored = Failure::None;
    return confirm(mac, operatorName, &ignored, problem);
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
