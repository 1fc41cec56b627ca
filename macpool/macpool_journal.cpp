// The claim journal's moves after a claim: writing, released, the state an
// address stands in, seen on a module, replaced, quarantined, and a person's
// release of an unknown address.
#include "macpool/macpool.h"

#include "base/logging.h"
#include "macpool/macpool_sql.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>

using namespace MacPoolSql;

namespace
{

QString tr(const char *text)
{
    return QCoreApplication::translate("MacPool", text);
}

QString timeStamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

bool MacPool::moveState(const QString &sql, const QVariantList &values, const QString &mac,
                        QString &errorText)
{
    if (!open) {
        errorText = whyNotOpen;
        return false;
    }
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!run(query, sql, values, errorText))
        return false;
    if (query.numRowsAffected() > 0)
        return true;
    errorText = whyNotHeld(mac);
    return false;
}

// Autocommitted: the writing state is on disk (or on the server) before
// the caller sends the address.
bool MacPool::beginWrite(const QString &mac, QString &errorText)
{
    const QStringList forms = storedForms(mac);
    return moveState(QStringLiteral("UPDATE %1 SET State=?, WritingAt=? WHERE MacAddr IN (%2) AND "
                                    "Claimer=? AND State=?")
                         .arg(claimTableName, marks(forms.size())),
                     QVariantList{WRITING, now()} + QVariantList(forms.begin(), forms.end()) +
                         QVariantList{claimerName, CLAIMED},
                     mac, errorText);
}

bool MacPool::release(const QString &mac, QString &errorText)
{
    const QStringList forms = storedForms(mac);
    return moveState(QStringLiteral("UPDATE %1 SET State=?, EndedAt=?, EndedBy=Claimer WHERE "
                                    "MacAddr IN (%2) AND Claimer=? AND State IN (?, ?)")
                         .arg(claimTableName, marks(forms.size())),
                     QVariantList{RELEASED, now()} + QVariantList(forms.begin(), forms.end()) +
                         QVariantList{claimerName, CLAIMED, WRITING},
                     mac, errorText);
}

bool MacPool::releaseUnknown(const QString &mac, const QString &who, const QString &reason,
                             QString &errorText)
{
    QString failure;
    if (stateOf(mac, failure) != MacState::Unknown) {
        errorText =
            failure.isEmpty() ? tr("MAC地址%1的状态不是未知，不能这样释放。").arg(mac) : failure;
        return false;
    }
    const QStringList forms = storedForms(mac);
    const qint64 at = now();
    if (!moveState(QStringLiteral("UPDATE %1 SET State=?, EndedAt=?, EndedBy=?, Note=? WHERE "
                                  "MacAddr IN (%2) AND State=? AND ExpiresAt<=?")
                       .arg(claimTableName, marks(forms.size())),
                   QVariantList{RELEASED, at, who, reason} +
                       QVariantList(forms.begin(), forms.end()) + QVariantList{WRITING, at},
                   mac, errorText))
        return false;
    qCDebug(lcMacpool).noquote() << mac << "released by" << who << "at" << at << ":" << reason;
    return true;
}

MacState MacPool::stateOf(const QString &mac, QString &errorText)
{
    if (!open) {
        errorText = whyNotOpen;
        return MacState::NotInPool;
    }
    const QStringList forms = storedForms(mac);
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    if (!run(query,
             QStringLiteral("SELECT m.IsUsed, c.State, c.ExpiresAt FROM %1 m LEFT JOIN %2 c ON "
                            "c.MacAddr=m.MacAddr WHERE m.MacAddr IN (%3)")
                 .arg(macTableName, claimTableName, marks(forms.size())),
             QVariantList(forms.begin(), forms.end()), errorText) ||
        !query.next())
        return MacState::NotInPool;
    const QString state = query.value(1).toString();
    const bool live = query.value(2).toLongLong() > now();
    if (query.value(0).toInt() == 1 || state == USED || state == REPLACED)
        return MacState::Used;
    if (state == QUARANTINED)
        return MacState::Quarantined;
    if (state == WRITING)
        return live ? MacState::Writing : MacState::Unknown;
    return state == CLAIMED && live ? MacState::Reserved : MacState::Free;
}

bool MacPool::markSeenOnModule(const QString &mac, const QString &station, const QString &port,
                               const QString &operatorName, QString &errorText)
{
    return recordUsed(mac, USED, {station, port, operatorName}, tr("模块上已有此地址"), errorText);
}

bool MacPool::markReplaced(const QString &mac, QString &errorText)
{
    return recordUsed(mac, REPLACED, {QString(), QString(), QString()}, tr("已被新地址替换"),
                      errorText);
}

// The address row first, then the journal row, in one transaction; an
// address that is used already keeps its use record.
bool MacPool::recordUsed(const QString &mac, const QString &state, const QStringList &where,
                         const QString &note, QString &errorText)
{
    if (!open) {
        errorText = whyNotOpen;
        return false;
    }
    const QStringList forms = storedForms(mac);
    const QVariantList formValues(forms.begin(), forms.end());
    const qint64 at = now();
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QString failure;
    if (!begin(db, postgres(), failure)) {
        errorText = failure;
        return false;
    }
    bool ok = false;
    {
        QSqlQuery query(db);
        ok = run(query,
                 QStringLiteral("UPDATE %1 SET IsUsed=1, UsedDateTime=?, Operator=? WHERE MacAddr "
                                "IN (%2) AND IsUsed=0")
                     .arg(macTableName, marks(forms.size())),
                 QVariantList{timeStamp(), where.at(2)} + formValues, failure) &&
             run(query,
                 QStringLiteral(
                     "INSERT INTO %1 AS c (MacAddr, State, Claimer, Station, Port, Operator, "
                     "ClaimedAt, ExpiresAt, Note, EndedAt, EndedBy) SELECT m.MacAddr, "
                     "CAST(? AS varchar), '', CAST(? AS varchar), CAST(? AS varchar), "
                     "CAST(? AS varchar), CAST(? AS bigint), 0, CAST(? AS varchar), "
                     "CAST(? AS bigint), CAST(? AS varchar) FROM %2 m WHERE m.MacAddr IN (%3) "
                     "ON CONFLICT (MacAddr) DO UPDATE SET State=EXCLUDED.State, "
                     "Note=EXCLUDED.Note, EndedAt=EXCLUDED.EndedAt, EndedBy=EXCLUDED.EndedBy, "
                     "Station=CASE WHEN EXCLUDED.Station='' THEN c.Station ELSE "
                     "EXCLUDED.Station END, Port=CASE WHEN EXCLUDED.Port='' THEN c.Port ELSE "
                     "EXCLUDED.Port END")
                     .arg(claimTableName, macTableName, marks(forms.size())),
                 QVariantList{state, where.at(0), where.at(1), where.at(2), at, note, at,
                              where.at(2)} +
                     formValues,
                 failure);
        ok = ok && query.numRowsAffected() > 0;
        if (ok)
            ok = commit(db, postgres(), failure);
        else
            rollback(db, postgres());
    }
    if (!ok)
        errorText = failure.isEmpty() ? tr("MAC地址%1不在地址池中。").arg(mac) : failure;
    return ok;
}

bool MacPool::quarantine(const QString &mac, const QString &why, QString &errorText)
{
    if (!open) {
        errorText = whyNotOpen;
        return false;
    }
    const QStringList forms = storedForms(mac);
    const qint64 at = now();
    QSqlQuery query(QSqlDatabase::database(connection, false));
    // One statement on both backends; a reservation keeps who held it.
    if (!run(query,
             QStringLiteral("INSERT INTO %1 AS c (MacAddr, State, Claimer, Station, Operator, "
                            "ClaimedAt, ExpiresAt, Note) SELECT m.MacAddr, CAST(? AS varchar), "
                            "CAST(? AS varchar), '', '', CAST(? AS bigint), 0, CAST(? AS varchar) "
                            "FROM %2 m WHERE m.MacAddr IN (%3) AND m.IsUsed=0 "
                            "ON CONFLICT (MacAddr) DO UPDATE SET State=EXCLUDED.State, "
                            "ExpiresAt=0, Note=EXCLUDED.Note")
                 .arg(claimTableName, macTableName, marks(forms.size())),
             QVariantList{QUARANTINED, claimerName, at, why} +
                 QVariantList(forms.begin(), forms.end()),
             errorText))
        return false;
    if (query.numRowsAffected() > 0)
        return true;
    errorText = whyNotHeld(mac);
    return false;
}

// Looks at the address as it is now to say why it was not this claimer's.
QString MacPool::whyNotHeld(const QString &mac)
{
    const QStringList forms = storedForms(mac);
    QString errorText;
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!run(query,
             QStringLiteral("SELECT m.IsUsed, c.State FROM %1 m LEFT JOIN %2 c ON "
                            "c.MacAddr=m.MacAddr WHERE m.MacAddr IN (%3)")
                 .arg(macTableName, claimTableName, marks(forms.size())),
             QVariantList(forms.begin(), forms.end()), errorText))
        return errorText;
    if (!query.next())
        return tr("MAC地址%1不在地址池中。").arg(mac);
    if (query.value(0).toInt() == 1)
        return tr("MAC地址%1已经使用过，不能再次确认。").arg(mac);
    if (query.value(1).toString() == QUARANTINED)
        return tr("MAC地址%1已被隔离。").arg(mac);
    if (query.value(1).toString() == WRITING)
        return tr("MAC地址%1正在写入或状态未知。").arg(mac);
    return tr("MAC地址%1不是本工位领取的地址，可能预留已过期并被其他工位领取。").arg(mac);
}
