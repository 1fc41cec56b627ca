#include "provision/recordsink.h"

#include "base/logging.h"
#include "macpool/unitrecords.h"

#include <QDebug>
#include <QUuid>

namespace
{
bool storeAll(UnitRecordStore &store, const QList<QJsonObject> &records, QString *problem)
{
    return store.isOpen() && store.createTable(*problem) && store.insert(records, *problem);
}
} // namespace

RecordSink::RecordSink(const QString &poolUrl, const QString &spoolPath)
    : url(poolUrl), spool(spoolPath)
{
}

QJsonObject RecordSink::withUnitId(const QJsonObject &record)
{
    if (!record.value(QLatin1String("unitId")).toString().isEmpty())
        return record;
    QJsonObject copy = record;
    copy.insert(QStringLiteral("unitId"), QUuid::createUuid().toString(QUuid::WithoutBraces));
    return copy;
}

RecordSink::Stored RecordSink::store(const QJsonObject &record)
{
    const QJsonObject keyed = withUnitId(record);
    QString problem;
    UnitRecordStore store(url);
    if (store.isOpen()) {
        // Older records first: the spool is uploaded before this one.
        if (spool.count() > 0)
            spool.drain(
                [&](const QList<QJsonObject> &records) {
                    return storeAll(store, records, &problem);
                },
                &problem);
        if (storeAll(store, {keyed}, &problem))
            return Stored::Database;
    } else {
        problem = store.openError();
    }
    qCDebug(lcMacpool).noquote() << "unit record spooled:" << problem;
    if (spool.append(keyed, &problem))
        return Stored::Spool;
    // Neither took it: said on stderr, which JSON lines never use.
    qWarning().noquote() << tr("设备记录%1未能保存：%2")
                                .arg(keyed.value(QLatin1String("unitId")).toString(), problem);
    return Stored::Lost;
}

int RecordSink::flush(QString *problem)
{
    UnitRecordStore store(url);
    if (!store.isOpen()) {
        *problem = store.openError();
        return -1;
    }
    int count = 0;
    const bool drained = spool.drain(
        [&](const QList<QJsonObject> &records) {
            count = records.size();
            return storeAll(store, records, problem);
        },
        problem);
    return drained ? count : -1;
}
