#include "support/testpool.h"

#include "macpool/macstore.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace
{

const QString HELPER_CONNECTION = QStringLiteral("test_pool_helper");

// The layout the tool's files carry, batchNum's odd type name included.
const char *const CREATE_TABLE =
    "create table %1(MacAddr varchar(255) primary key,CreateDateTime varchar(255),IsUsed "
    "int,UsedDateTime varchar(255),BoardType varchar(255),BarCode varchar(255),Operator "
    "varchar(255),batchNum varchar varchar(255))";

} // namespace

TestPool::TestPool() : previousDir(QDir::currentPath())
{
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return;
    run(QString::fromLatin1(CREATE_TABLE).arg(macTableName), {}, &valid);
}

TestPool::~TestPool()
{
    // The tool's connection may still name the file; let go of it first.
    if (QSqlDatabase::contains(macConnectionName))
        QSqlDatabase::database(macConnectionName, false).close();
    QDir::setCurrent(previousDir);
}

QVariantList TestPool::run(const QString &sql, const QVariantList &values, bool *ok) const
{
    QVariantList first;
    bool executed = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), HELPER_CONNECTION);
        db.setDatabaseName(dir.filePath(macDbFileName));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.prepare(sql)) {
                for (const QVariant &value : values)
                    query.addBindValue(value);
                executed = query.exec();
            }
            if (executed && query.next()) {
                for (int i = 0; i < query.record().count(); ++i)
                    first.append(query.value(i));
            }
            if (!executed)
                qWarning("test pool: %s", qPrintable(query.lastError().text()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(HELPER_CONNECTION);
    if (ok)
        *ok = executed;
    return first;
}

bool TestPool::add(const QString &mac, bool used)
{
    bool ok = false;
    run(QStringLiteral("INSERT INTO %1(MacAddr, CreateDateTime, IsUsed, batchNum) "
                       "VALUES (?, '2026-01-02 03:04:05', ?, '')")
            .arg(macTableName),
        {mac, used ? 1 : 0}, &ok);
    return ok;
}

bool TestPool::useAll()
{
    bool ok = false;
    run(QStringLiteral("UPDATE %1 SET IsUsed = 1").arg(macTableName), {}, &ok);
    return ok;
}

QVariantList TestPool::row(const QString &mac) const
{
    return run(QStringLiteral("SELECT IsUsed, UsedDateTime, Operator FROM %1 WHERE MacAddr = ?")
                   .arg(macTableName),
               {mac});
}

bool TestPool::isFree(const QString &mac) const
{
    const QVariantList values = row(mac);
    return values.size() == 3 && values.at(0).toInt() == 0 && values.at(2).isNull();
}

bool TestPool::breakFile()
{
    QFile file(dir.filePath(macDbFileName));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(QByteArray(4096, 'x')) == 4096;
}
