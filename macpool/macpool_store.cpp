// The pool's tables, generation, counts and pages, the same on both backends.
#include "macpool/macpool.h"

#include "base/logging.h"
#include "macpool/macpool_sql.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QSqlError>

using namespace MacPoolSql;

namespace
{
QString tr(const char *text)
{
    return QCoreApplication::translate("MacPool", text);
}

// The time stamp text, formatted again only when the second changes.
class StampClock
{
public:
    const QString &now()
    {
        const qint64 second = QDateTime::currentSecsSinceEpoch();
        if (second != shown) {
            shown = second;
            text = QDateTime::fromSecsSinceEpoch(second).toString(
                QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        }
        return text;
    }

private:
    qint64 shown = -1;
    QString text;
};

// The hold a journal row in `state` puts on its address; `live` is whether
// its reservation has not expired.
MacHold holdOf(const QString &state, bool live)
{
    if (state == QUARANTINED)
        return MacHold::QUARANTINED;
    if (state == WRITING)
        return live ? MacHold::WRITING : MacHold::UNKNOWN;
    return state == CLAIMED && live ? MacHold::CLAIMED : MacHold::NONE;
}

// Rows per INSERT on PostgreSQL, where every statement is a round trip to
// the server; SQLite runs one prepared row at a time in its own process.
constexpr int SERVER_BATCH_ROWS = 250;

// The INSERT of `rows` generated rows.
QString insertStatement(int rows)
{
    QStringList groups;
    for (int i = 0; i < rows; ++i)
        groups << QStringLiteral("(?, ?, ?, ?)");
    return QStringLiteral("INSERT INTO %1(MacAddr, CreateDateTime,IsUsed, batchNum) VALUES %2")
        .arg(macTableName, groups.join(QStringLiteral(", ")));
}

// Binds the values of one generated row.
void bindRow(QSqlQuery &query, const QString &mac, const QString &stamp, const QString &batch)
{
    query.addBindValue(mac);
    query.addBindValue(stamp);
    query.addBindValue(0);
    query.addBindValue(batch);
}
} // namespace

bool MacPool::createTables(QString &errorText)
{
    if (!open) {
        errorText = whyNotOpen;
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery query(db);
    bool ok = true;
    if (postgres()) {
        // PostgreSQL knows no "varchar varchar(255)"; the column is text all the same.
        ok = run(query,
                 QStringLiteral("CREATE TABLE IF NOT EXISTS %1(MacAddr varchar(255) primary key,"
                                "CreateDateTime varchar(255),IsUsed int,UsedDateTime "
                                "varchar(255),BoardType varchar(255),BarCode varchar(255),"
                                "Operator varchar(255),batchNum varchar(255))")
                     .arg(macTableName),
                 {}, errorText);
        ok = ok && run(query,
                       QStringLiteral("CREATE TABLE IF NOT EXISTS %1(MacAddr varchar(255) primary "
                                      "key, State varchar(16), Claimer varchar(255), Station "
                                      "varchar(255), Operator varchar(255), ClaimedAt bigint, "
                                      "ExpiresAt bigint, Note varchar(255), Port varchar(255), "
                                      "WritingAt bigint, EndedAt bigint, EndedBy varchar(255))")
                           .arg(claimTableName),
                       {}, errorText);
        ok = ok && addMissingColumns(errorText);
    } else if (!db.tables().contains(macTableName, Qt::CaseSensitive)) {
        ok = run(query,
                 QStringLiteral("create table %1(MacAddr varchar(255) primary key,CreateDateTime "
                                "varchar(255),IsUsed int,UsedDateTime varchar(255),BoardType "
                                "varchar(255),BarCode varchar(255),Operator varchar(255),batchNum "
                                "varchar varchar(255))")
                     .arg(macTableName),
                 {}, errorText);
    }
    // Claims look for the lowest free addresses.
    return ok && run(query,
                     QStringLiteral("CREATE INDEX IF NOT EXISTS %1_free ON %1(IsUsed, MacAddr)")
                         .arg(macTableName),
                     {}, errorText);
}

bool MacPool::hasTables(QString &errorText)
{
    if (!open) {
        errorText = whyNotOpen;
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    const QStringList tables = db.tables();
    if (db.lastError().isValid()) {
        errorText = db.lastError().text();
        return false;
    }
    if (tables.contains(macTableName, Qt::CaseInsensitive))
        return true;
    errorText = tr("MAC地址池中没有地址表%1，请先生成地址。").arg(macTableName);
    return false;
}

MacPoolStats MacPool::stats(QString &errorText)
{
    MacPoolStats counts;
    if (!open) {
        errorText = whyNotOpen;
        return counts;
    }
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!run(query,
             QStringLiteral("SELECT count(*), sum(CASE WHEN IsUsed=1 THEN 1 ELSE 0 END) FROM %1")
                 .arg(macTableName),
             {}, errorText) ||
        !query.next())
        return counts;
    counts.total = query.value(0).toLongLong();
    counts.used = query.value(1).toLongLong();
    // Holds of used rows (an address marked used without its claim) count as used.
    const qint64 at = now();
    if (!run(query,
             QStringLiteral("SELECT sum(CASE WHEN c.State=? AND c.ExpiresAt>? THEN 1 ELSE 0 END), "
                            "sum(CASE WHEN c.State=? THEN 1 ELSE 0 END), "
                            "sum(CASE WHEN c.State=? AND c.ExpiresAt>? THEN 1 ELSE 0 END), "
                            "sum(CASE WHEN c.State=? AND c.ExpiresAt<=? THEN 1 ELSE 0 END) "
                            "FROM %1 c JOIN %2 m ON m.MacAddr=c.MacAddr WHERE m.IsUsed=0")
                 .arg(claimTableName, macTableName),
             {CLAIMED, at, QUARANTINED, WRITING, at, WRITING, at}, errorText) ||
        !query.next())
        return counts;
    counts.claimed = query.value(0).toLongLong();
    counts.quarantined = query.value(1).toLongLong();
    counts.writing = query.value(2).toLongLong();
    counts.unknown = query.value(3).toLongLong();
    counts.free = counts.total - counts.used - counts.claimed - counts.quarantined -
                  counts.writing - counts.unknown;
    return counts;
}

QList<MacClaimRow> MacPool::holds(QString &errorText)
{
    QList<MacClaimRow> rows;
    if (!open) {
        errorText = whyNotOpen;
        return rows;
    }
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    if (!run(query,
             QStringLiteral("SELECT MacAddr, State, Claimer, Station, Operator, ClaimedAt, "
                            "ExpiresAt, Note, Port, WritingAt FROM %1 WHERE State IN (?, ?, ?) "
                            "ORDER BY MacAddr")
                 .arg(claimTableName),
             {CLAIMED, WRITING, QUARANTINED}, errorText))
        return rows;
    const qint64 at = now();
    while (query.next()) {
        MacClaimRow row;
        row.MacAddr = query.value(0).toString();
        row.claimer = query.value(2).toString();
        row.station = query.value(3).toString();
        row.operatorName = query.value(4).toString();
        row.claimedAt = query.value(5).toLongLong();
        row.expiresAt = query.value(6).toLongLong();
        row.note = query.value(7).toString();
        row.port = query.value(8).toString();
        row.writingAt = query.value(9).toLongLong();
        row.hold = holdOf(query.value(1).toString(), row.expiresAt > at);
        rows << row;
    }
    return rows;
}

QString MacPool::firstClash(const MacRange &range, QString &errorText)
{
    const quint64 last = range.address(range.count - 1);
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    if (!run(query,
             QStringLiteral("SELECT MacAddr FROM %1 WHERE MacAddr BETWEEN ? AND ? ORDER BY MacAddr")
                 .arg(macTableName),
             {colonMac(range.first), colonMac(last)}, errorText))
        return QString();
    while (query.next()) {
        const QString stored = query.value(0).toString();
        quint64 value = 0;
        if (parseStoredMac(stored, value) && value >= range.first && value <= last &&
            (value - range.first) % quint64(range.step) == 0)
            return stored;
    }
    return QString();
}

bool MacPool::generate(const MacRange &range, const QString &batch, QString &errorText,
                       const std::function<void(int)> &rowStored)
{
    if (!open) {
        errorText = whyNotOpen;
        return false;
    }
    if (rangeReachesNonUnicast(range, errorText))
        return false;
    QString failure;
    QString clash = firstClash(range, failure);
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!failure.isEmpty() || !begin(db, postgres(), failure)) {
        errorText = failure;
        return false;
    }
    qCDebug(lcMacpool).noquote() << insertStatement(1) << range.count << "rows from"
                                 << colonMac(range.first) << "step" << range.step;
    bool ok = false;
    {
        QSqlQuery query(db);
        if (clash.isEmpty()) { // otherwise nothing of the range goes in
            ok = insertRows(query, range, batch, rowStored);
            if (!ok)
                fail(query.lastError(), failure);
        }
        // Ended while the query lives: PostgreSQL frees its statement only
        // outside a failed transaction.
        if (ok)
            ok = commit(db, postgres(), failure);
        else
            rollback(db, postgres());
    }
    if (ok)
        return true;
    if (clash.isEmpty()) {
        QString ignored;
        clash = firstClash(range, ignored); // a station that generated meanwhile
    }
    errorText =
        clash.isEmpty() ? failure : tr("MAC地址%1已在地址池中：本次没有存入任何地址").arg(clash);
    return false;
}

bool MacPool::insertRows(QSqlQuery &query, const MacRange &range, const QString &batch,
                         const std::function<void(int)> &rowStored)
{
    const int batchRows = postgres() ? SERVER_BATCH_ROWS : 1;
    StampClock stamps;
    int prepared = 0;
    bool ok = true;
    for (int first = 0; ok && first < range.count; first += batchRows) {
        const int rows = qMin(batchRows, range.count - first);
        if (rows != prepared) {
            ok = query.prepare(insertStatement(rows));
            prepared = rows;
        }
        for (int i = first; i < first + rows; ++i)
            bindRow(query, colonMac(range.address(i)), stamps.now(), batch);
        ok = ok && query.exec();
        for (int i = qMax(first, 1); ok && rowStored && i < first + rows; ++i)
            rowStored(i - 1);
    }
    return ok;
}

bool MacPool::clear(QString &errorText)
{
    if (!open) {
        errorText = whyNotOpen;
        return false;
    }
    QString failure;
    QSqlQuery query(QSqlDatabase::database(connection, false));
    run(query, QStringLiteral("DELETE FROM %1").arg(macTableName), {}, failure);
    run(query, QStringLiteral("DELETE FROM %1").arg(claimTableName), {}, failure);
    if (!postgres())
        run(query, QStringLiteral("VACUUM"), {}, failure); // even after a failed DELETE
    if (failure.isEmpty())
        return true;
    errorText = failure;
    return false;
}

int MacPool::countPages(const MacFilter &filter, QString &errorText)
{
    if (!open) {
        errorText = whyNotOpen;
        return 0;
    }
    const MacStatement statement =
        countMacStatement(filter, postgres() ? SqlDialect::POSTGRESQL : SqlDialect::SQLITE);
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    if (!run(query, statement.sql, statement.values, errorText))
        return 0;
    const qint64 rows = query.next() ? query.value(0).toLongLong() : 0;
    return int((rows + MacStore::PAGE_ROWS - 1) / MacStore::PAGE_ROWS);
}

QList<MacRow> MacPool::page(int pageNumber, const MacFilter &filter, QString &errorText)
{
    QList<MacRow> rows;
    if (!open) {
        errorText = whyNotOpen;
        return rows;
    }
    const MacStatement statement = selectMacPageStatement(
        pageNumber, filter, postgres() ? SqlDialect::POSTGRESQL : SqlDialect::SQLITE);
    {
        QSqlQuery query(QSqlDatabase::database(connection, false));
        query.setForwardOnly(true);
        if (!run(query, statement.sql, statement.values, errorText))
            return rows;
        while (query.next()) {
            MacRow row;
            row.MacAddr = query.value(0).toString();
            row.CreateDateTime = query.value(1).toString();
            row.IsUsed = query.value(2).toInt();
            row.UsedDateTime = query.value(3).toString();
            row.BoardType = query.value(4).toString();
            row.BarCode = query.value(5).toString();
            row.Operator = query.value(6).toString();
            row.batchNum = query.value(7).toString();
            rows << row;
        }
    }
    addHolds(rows, errorText);
    return rows;
}

// Marks the rows whose address is quarantined, under a live reservation or
// write, or unknown.
void MacPool::addHolds(QList<MacRow> &rows, QString &errorText)
{
    if (rows.isEmpty())
        return;
    QVariantList macs;
    for (const MacRow &row : rows)
        macs << row.MacAddr;
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    if (!run(query,
             QStringLiteral("SELECT MacAddr, State, ExpiresAt, Note FROM %1 WHERE MacAddr IN (%2)")
                 .arg(claimTableName, marks(macs.size())),
             macs, errorText))
        return;
    const qint64 at = now();
    while (query.next()) {
        const QString mac = query.value(0).toString();
        const MacHold hold = holdOf(query.value(1).toString(), query.value(2).toLongLong() > at);
        if (hold == MacHold::NONE)
            continue; // expired or ended
        for (MacRow &row : rows) {
            if (row.MacAddr != mac)
                continue;
            row.hold = hold;
            row.holdNote = query.value(3).toString();
        }
    }
}
