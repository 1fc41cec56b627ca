#include "macpool/macstore.h"

#include "base/logging.h"
#include "macpool/macpool.h"
#include "macpool/macpool_sql.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace
{
const QString TIME_FORMAT = QStringLiteral("yyyy-MM-dd hh:mm:ss");

QString tr(const char *text)
{
    return QCoreApplication::translate("MacStore", text);
}

QString timeStamp()
{
    return QDateTime::currentDateTime().toString(TIME_FORMAT);
}

} // namespace

void clearMacTable(QString &errorText)
{
    MacPool(localPoolUrl()).clear(errorText);
}

bool markMacUsed(const MacUsageRecord &record, QString &errorText)
{
    const QStringList forms = MacPoolSql::storedForms(record.MacAddr);
    MacStatement statement;
    statement.sql = QStringLiteral("UPDATE %1 SET  IsUsed=?, UsedDateTime=?, BoardType=?, "
                                   "BarCode=?, Operator=? WHERE MacAddr IN (%2);")
                        .arg(macTableName, MacPoolSql::marks(forms.size()));
    statement.values << record.IsUsed << timeStamp() << record.BoardType << record.BarCode
                     << record.Operator;
    for (const QString &form : forms)
        statement.values << form;

    MacPool pool(localPoolUrl());
    if (!pool.isOpen()) {
        errorText = pool.openError();
        return false;
    }
    QSqlQuery query(QSqlDatabase::database(pool.connectionName(), false));
    if (!MacPoolSql::run(query, statement.sql, statement.values, errorText))
        return false;
    if (query.numRowsAffected() < 1) {
        errorText = tr("MAC地址%1不在地址池中。").arg(record.MacAddr);
        return false;
    }
    return true;
}

void createMacTable()
{
    QString errorText;
    const bool created =
        MacPool(localPoolUrl(), QString(), MissingPoolFile::Create).createTables(errorText);
    qCDebug(lcMacpool) << created << errorText;
}

QStringList takeUnusedMacs(int n, QString &errorText)
{
    MacPool pool(localPoolUrl());
    if (!pool.isOpen()) {
        errorText = pool.openError();
        return {};
    }
    QSqlQuery query(QSqlDatabase::database(pool.connectionName(), false));
    if (!MacPoolSql::run(
            query,
            QStringLiteral("SELECT m.MacAddr FROM %1 m WHERE m.IsUsed=0 AND NOT EXISTS (SELECT 1 "
                           "FROM %2 c WHERE c.MacAddr=m.MacAddr AND %3) ORDER BY m.MacAddr "
                           "LIMIT ?;")
                .arg(macTableName, claimTableName, MacPoolSql::heldCondition()),
            MacPoolSql::heldValues(QDateTime::currentSecsSinceEpoch()) << n, errorText))
        return {};
    QStringList addresses;
    while (query.next())
        addresses << query.value(0).toString();
    return addresses;
}

int countMacPages(const MacFilter &filter, QString &errorText)
{
    return MacPool(localPoolUrl()).countPages(filter, errorText);
}

QList<MacRow> selectMacPage(int page, const MacFilter &filter, QString &errorText)
{
    return MacPool(localPoolUrl()).page(page, filter, errorText);
}
