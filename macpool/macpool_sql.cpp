#include "macpool/macpool_sql.h"

#include "base/logging.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSqlError>

namespace MacPoolSql
{
void fail(const QSqlError &error, QString &errorText)
{
    qCDebug(lcMacpool).noquote() << "failed:" << error.text();
    errorText = error.type() == QSqlError::ConnectionError
                    ? QCoreApplication::translate("MacPool", "无法连接地址池数据库")
                    : QCoreApplication::translate("MacPool", "地址池数据库操作失败");
    errorText += QCoreApplication::translate("MacPool", "（原因见调试日志maint.macpool）");
}

bool run(QSqlQuery &query, const QString &sql, const QVariantList &values, QString &errorText)
{
    qCDebug(lcMacpool).noquote() << traceMacStatement({sql, values});
    // PostgreSQL prepares no DDL; a statement without values needs no preparing.
    bool ok = values.isEmpty() ? query.exec(sql) : query.prepare(sql);
    if (values.isEmpty()) {
        if (!ok)
            fail(query.lastError(), errorText);
        return ok;
    }
    for (const QVariant &value : values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok)
        fail(query.lastError(), errorText);
    return ok;
}

bool begin(QSqlDatabase &db, bool postgres, QString &errorText)
{
    if (postgres) {
        if (db.transaction())
            return true;
        fail(db.lastError(), errorText);
        return false;
    }
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return true;
    fail(query.lastError(), errorText);
    return false;
}

bool commit(QSqlDatabase &db, bool postgres, QString &errorText)
{
    if (postgres) {
        if (db.commit())
            return true;
        fail(db.lastError(), errorText);
        rollback(db, postgres);
        return false;
    }
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("COMMIT")))
        return true;
    fail(query.lastError(), errorText);
    rollback(db, postgres);
    return false;
}

void rollback(QSqlDatabase &db, bool postgres)
{
    if (postgres) {
        db.rollback();
        return;
    }
    QSqlQuery query(db);
    query.exec(QStringLiteral("ROLLBACK")); // fails harmlessly when SQLite rolled back already
}

QString heldCondition()
{
    return QStringLiteral("(c.State<>CAST(? AS varchar) AND (c.State<>CAST(? AS varchar) OR "
                          "c.ExpiresAt>CAST(? AS bigint)))");
}

QVariantList heldValues(qint64 at)
{
    return {RELEASED, CLAIMED, at};
}

QString unicastCondition()
{
    return QStringLiteral("upper(substr(m.MacAddr, 2, 1)) NOT IN (%1) AND m.MacAddr NOT IN (%2)")
        .arg(marks(8), marks(3));
}

QVariantList unicastValues()
{
    QVariantList values;
    for (const char *odd : {"1", "3", "5", "7", "9", "B", "D", "F"})
        values << QString::fromLatin1(odd);
    for (const QString &zero : storedMacForms(0))
        values << zero;
    return values;
}

QString marks(int n)
{
    QStringList list;
    for (int i = 0; i < n; ++i)
        list << QStringLiteral("?");
    return list.join(QStringLiteral(", "));
}

QStringList storedForms(const QString &mac)
{
    QStringList forms{mac};
    quint64 value = 0;
    if (parseStoredMac(mac, value)) {
        for (const QString &form : storedMacForms(value)) {
            if (!forms.contains(form))
                forms << form;
        }
    }
    return forms;
}
} // namespace MacPoolSql
