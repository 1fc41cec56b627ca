#include "macpool/unityield.h"

#include "macpool/macpool_sql.h"

#include <QSqlDatabase>
#include <QSqlQuery>

using namespace MacPoolSql;

namespace
{
QString groupExpression(YieldBy by)
{
    switch (by) {
    case YieldBy::Station:
        return QStringLiteral("COALESCE(station, '')");
    case YieldBy::Slot:
        return QStringLiteral("COALESCE(slot, '')");
    case YieldBy::Day:
        return QStringLiteral("COALESCE(substr(started_at, 1, 10), '')");
    default:
        return QStringLiteral("CAST('' AS varchar(8))"); // no bare literal: PostgreSQL refuses one
    }
}

bool readGroups(QSqlQuery &query, QList<YieldRow> &rows)
{
    while (query.next()) {
        YieldRow row;
        row.group = query.value(0).toString();
        row.records = query.value(1).toLongLong();
        row.units = query.value(2).toLongLong();
        row.passed = query.value(3).toLongLong();
        row.firstPass = query.value(4).toLongLong();
        row.failed = row.units - row.passed;
        rows << row;
    }
    return true;
}

bool runGroups(UnitRecordStore &store, const QString &expression, const QString &where,
               const QVariantList &values, QList<YieldRow> &rows, QString &errorText)
{
    QSqlQuery query(QSqlDatabase::database(store.connectionName(), false));
    query.setForwardOnly(true);
    return run(query, yieldStatement(expression, where), values, errorText) &&
           readGroups(query, rows);
}
} // namespace

bool parseYieldBy(const QString &word, YieldBy &by)
{
    static const QStringList words{QString(), QStringLiteral("station"), QStringLiteral("slot"),
                                   QStringLiteral("day"), QStringLiteral("step")};
    const int at = words.indexOf(word);
    if (at < 0)
        return false;
    by = YieldBy(at);
    return true;
}

QString yieldStatement(const QString &groupExpression, const QString &conditions)
{
    const QString unit = QStringLiteral("COALESCE(NULLIF(wifi_mac, ''), unit_id)");
    return QStringLiteral(
               "SELECT g, SUM(n), COUNT(*), SUM(anyok), SUM(firstok) FROM ("
               "SELECT g, u, COUNT(*) AS n, MAX(ok) AS anyok, "
               "MAX(CASE WHEN k = 1 THEN ok ELSE 0 END) AS firstok FROM ("
               "SELECT %1 AS g, %2 AS u, COALESCE(ok, 0) AS ok, ROW_NUMBER() OVER "
               "(PARTITION BY %1, %2 ORDER BY started_at, unit_id) AS k "
               "FROM mavo_unit_record WHERE %3) r GROUP BY g, u) s GROUP BY g ORDER BY g")
        .arg(groupExpression, unit, conditions);
}

QString failureStatement(const QString &conditions, bool withError)
{
    const QString step = QStringLiteral("COALESCE(failed_step, '')");
    const QString error = withError ? QStringLiteral("COALESCE(error, '')") : QString();
    const QString keys = withError ? step + QStringLiteral(", ") + error : step;
    return QStringLiteral("SELECT %1, %2, COUNT(*) AS n FROM mavo_unit_record WHERE %3 AND ok = 0 "
                          "GROUP BY %4 ORDER BY n DESC, %4")
        .arg(step, withError ? error : QStringLiteral("CAST('' AS varchar(8))"), conditions, keys);
}

bool computeYield(UnitRecordStore &store, const UnitRecordFilter &filter, YieldBy by,
                  YieldReport &report, QString &errorText)
{
    UnitRecordFilter taken = filter;
    taken.mac.clear();
    taken.failedOnly = false;
    QVariantList values;
    const QString where = UnitRecordStore::conditions(taken, values);
    QList<YieldRow> total;
    if (!runGroups(store, groupExpression(YieldBy::None), where, values, total, errorText))
        return false;
    report = YieldReport();
    if (!total.isEmpty())
        report.total = total.first();
    if (by != YieldBy::None && by != YieldBy::Step &&
        !runGroups(store, groupExpression(by), where, values, report.groups, errorText))
        return false;
    QSqlQuery query(QSqlDatabase::database(store.connectionName(), false));
    query.setForwardOnly(true);
    if (!run(query, failureStatement(where, by != YieldBy::Step), values, errorText))
        return false;
    while (query.next())
        report.failures << FailureRow{query.value(0).toString(), query.value(1).toString(),
                                      query.value(2).toLongLong()};
    return true;
}
