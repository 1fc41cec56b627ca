#include "support/testpool.h"

#include "macpool/macstore.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace
{

const char *const HELPER_CONNECTION = "test_pool_helper";

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
    valid = execute(QString::fromLatin1(CREATE_TABLE).arg(macTableName));
}

TestPool::~TestPool()
{
    // The tool's connection may still name the file; let go of it first.
    if (QSqlDatabase::contains(macConnectionName))
        QSqlDatabase::database(macConnectionName, false).close();
    QDir::setCurrent(previousDir);
}

bool TestPool::execute(const QString &statement, const QVariantList &values) const
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                    QString::fromLatin1(HELPER_CONNECTION));
        db.setDatabaseName(dir.filePath(macDbFileName));
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(statement);
            for (const QVariant &value : values)
                query.addBindValue(value);
            ok = query.exec();
            if (!ok)
                qWarning("test pool: %s", qPrintable(query.lastError().text()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QString::fromLatin1(HELPER_CONNECTION));
    return ok;
}

bool TestPool::add(const QString &mac, bool used)
{
    return execute(QStringLiteral("INSERT INTO %1(MacAddr, CreateDateTime, IsUsed, batchNum) "
                                  "VALUES (?, '2026-01-02 03:04:05', ?, '')")
                       .arg(macTableName),
                   {mac, used ? 1 : 0});
}

TestPool::Row TestPool::row(const QString &mac) const
{
    Row result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                    QString::fromLatin1(HELPER_CONNECTION));
        db.setDatabaseName(dir.filePath(macDbFileName));
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(QStringLiteral("SELECT IsUsed, UsedDateTime, Operator FROM %1 "
                                         "WHERE MacAddr = ?")
                              .arg(macTableName));
            query.addBindValue(mac);
            if (query.exec() && query.next()) {
                result.found = true;
                result.isUsed = query.value(0).toInt();
                result.usedDateTime = query.value(1).toString();
                result.operatorIsNull = query.value(2).isNull();
                result.operatorName = query.value(2).toString();
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QString::fromLatin1(HELPER_CONNECTION));
    return result;
}

bool TestPool::breakFile()
{
    QFile file(dir.filePath(macDbFileName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(QByteArray(4096, 'x')) == 4096;
}
