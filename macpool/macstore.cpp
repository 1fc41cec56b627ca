#include "macpool/macstore.h"

#include "base/logging.h"

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

// Opens the database under `connection`, runs `work` on it and closes and
// unregisters the connection again. `work` must not keep a query alive.
template <typename Work> void withMacDatabase(const QString &connection, Work work)
{
    if (QSqlDatabase::contains(connection))
        QSqlDatabase::removeDatabase(connection);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(macDbFileName);
        db.open(); // a failure shows up as the failure of the first statement
        work(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

// Prepares and runs one statement; false with the driver's text on failure.
bool runStatement(QSqlQuery &query, const MacStatement &statement, QString &errorText)
{
    qCDebug(lcMacpool).noquote() << traceMacStatement(statement);
    bool ok = query.prepare(statement.sql);
    for (const QVariant &value : statement.values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok)
        errorText = query.lastError().text();
    return ok;
}

enum class Member { IsUsed, Mac, BarCode, BoardType, CreateDate, UsedDate, OperatorName, Batch };

// Adds the member's condition to `statement` when the filter sets it.
void addCondition(const MacFilter &filter, Member member, QStringList &conditions,
                  QVariantList &values)
{
    const auto like = [&](const char *column, const QString &text) {
        if (text.isEmpty())
            return;
        conditions << QStringLiteral("%1 LIKE ?").arg(QLatin1String(column));
        values << QVariant(text + QLatin1Char('%'));
    };
    // Older files hold first rows of a range in dash or bare form.
    const auto likeAnyForm = [&](const QString &text) {
        if (text.isEmpty())
            return;
        QStringList alternatives;
        for (const QString &form : macPrefixForms(text)) {
            alternatives << QStringLiteral("MacAddr LIKE ?");
            values << QVariant(form + QLatin1Char('%'));
        }
        conditions << (alternatives.size() == 1
                           ? alternatives.first()
                           : QLatin1Char('(') + alternatives.join(QStringLiteral(" OR ")) +
                                 QLatin1Char(')'));
    };
    const auto equal = [&](const char *column, const QString &text) {
        if (text.isEmpty())
            return;
        conditions << QStringLiteral("%1=?").arg(QLatin1String(column));
        values << QVariant(text);
    };
    switch (member) {
    case Member::IsUsed:
        if (filter.isUsed == 0 || filter.isUsed == 1) {
            conditions << QStringLiteral("IsUsed=?");
            values << QVariant(filter.isUsed);
        }
        break;
    case Member::Mac:
        likeAnyForm(filter.mac);
        break;
    case Member::BarCode:
        like("BarCode", filter.barCode);
        break;
    case Member::BoardType:
        equal("BoardType", filter.boardType);
        break;
    case Member::CreateDate:
        like("CreateDateTime", filter.createDate);
        break;
    case Member::UsedDate:
        like("UsedDateTime", filter.usedDate);
        break;
    case Member::OperatorName:
        equal("Operator", filter.operatorName);
        break;
    case Member::Batch:
        equal("batchNum", filter.batch);
        break;
    }
}

// "SELECT <what> FROM table" plus " WHERE <conditions>" in the given order.
MacStatement filteredSelect(const QString &what, const MacFilter &filter,
                            std::initializer_list<Member> order)
{
    MacStatement statement;
    QStringList conditions;
    for (Member member : order)
        addCondition(filter, member, conditions, statement.values);
    statement.sql = QStringLiteral("SELECT %1 FROM %2 ").arg(what, macTableName);
    if (!conditions.isEmpty())
        statement.sql += QStringLiteral("WHERE ") + conditions.join(QStringLiteral(" AND "));
    return statement;
}

QString quotedLiteral(const QVariant &value)
{
    if (value.type() == QVariant::Int)
        return value.toString();
    QString text = value.toString();
    text.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
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
            text = QDateTime::fromSecsSinceEpoch(second).toString(TIME_FORMAT);
        }
        return text;
    }

private:
    qint64 shown = -1;
    QString text;
};

// Runs the prepared INSERT for every address of the range; the caller owns
// the transaction.
bool insertRows(QSqlQuery &query, const MacRange &range, const QString &batch, QString &errorText,
                const std::function<void(int)> &rowStored)
{
    StampClock clock;
    for (int i = 0; i < range.count; ++i) {
        query.addBindValue(colonMac(range.address(i)));
        query.addBindValue(clock.now());
        query.addBindValue(0);
        query.addBindValue(batch);
        if (!query.exec()) {
            errorText = query.lastError().text();
            return false;
        }
        if (i > 0 && rowStored)
            rowStored(i - 1);
    }
    return true;
}
} // namespace

QString traceMacStatement(const MacStatement &statement)
{
    QString text;
    int next = 0;
    for (QChar c : statement.sql) {
        if (c == QLatin1Char('?') && next < statement.values.size())
            text += quotedLiteral(statement.values.at(next++));
        else
            text += c;
    }
    return text;
}

MacStatement countMacStatement(const MacFilter &filter)
{
    MacStatement statement =
        filteredSelect(QStringLiteral("count(*)"), filter,
                       {Member::IsUsed, Member::Mac, Member::BarCode, Member::BoardType,
                        Member::CreateDate, Member::UsedDate, Member::OperatorName, Member::Batch});
    statement.sql += QLatin1Char(';');
    return statement;
}

MacStatement selectMacPageStatement(int page, const MacFilter &filter)
{
    MacStatement statement =
        filteredSelect(QStringLiteral("*"), filter,
                       {Member::BoardType, Member::Mac, Member::BarCode, Member::CreateDate,
                        Member::UsedDate, Member::IsUsed, Member::OperatorName, Member::Batch});
    if (!statement.sql.endsWith(QLatin1Char(' ')))
        statement.sql += QLatin1Char(' ');
    statement.sql += QStringLiteral("ORDER BY MacAddr LIMIT %1 OFFSET %2;")
                         .arg(MacStore::PAGE_ROWS)
                         .arg(qint64(page - 1) * MacStore::PAGE_ROWS);
    return statement;
}

void clearMacTable(QString &errorText)
{
    withMacDatabase(macConnectionName, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        runStatement(query, {QStringLiteral("DELETE FROM %1;").arg(macTableName), {}}, errorText);
        runStatement(query, {QStringLiteral("VACUUM;"), {}}, errorText);
    });
}

bool markMacUsed(const MacUsageRecord &record, QString &errorText)
{
    QStringList forms{record.MacAddr};
    quint64 value = 0;
    if (parseStoredMac(record.MacAddr, value)) {
        for (const QString &form : storedMacForms(value)) {
            if (!forms.contains(form))
                forms << form;
        }
    }
    QStringList marks;
    for (int i = 0; i < forms.size(); ++i)
        marks << QStringLiteral("?");
    MacStatement statement;
    statement.sql = QStringLiteral("UPDATE %1 SET  IsUsed=?, UsedDateTime=?, BoardType=?, "
                                   "BarCode=?, Operator=? WHERE MacAddr IN (%2);")
                        .arg(macTableName, marks.join(QStringLiteral(", ")));
    statement.values << record.IsUsed << timeStamp() << record.BoardType << record.BarCode
                     << record.Operator;
    for (const QString &form : forms)
        statement.values << form;

    bool ok = false;
    withMacDatabase(macConnectionName, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        ok = runStatement(query, statement, errorText);
        if (ok && query.numRowsAffected() < 1) {
            errorText = tr("MAC地址%1不在地址池中。").arg(record.MacAddr);
            ok = false;
        }
    });
    return ok;
}

void createMacTable()
{
    QSqlDatabase db;
    if (QSqlDatabase::contains(macConnectionName)) {
        db = QSqlDatabase::database(macConnectionName, true);
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), macConnectionName);
        db.setDatabaseName(macDbFileName);
    }
    if (!db.open() || db.tables().contains(macTableName, Qt::CaseSensitive))
        return;
    QSqlQuery query(db);
    const bool created = query.exec(
        QStringLiteral("create table %1(MacAddr varchar(255) primary key,CreateDateTime "
                       "varchar(255),IsUsed int,UsedDateTime varchar(255),BoardType "
                       "varchar(255),BarCode varchar(255),Operator varchar(255),batchNum "
                       "varchar varchar(255))")
            .arg(macTableName));
    qCDebug(lcMacpool) << created;
}

QString takeUnusedMacs(QString &errorText, int n)
{
    QStringList addresses;
    withMacDatabase(macConnectionName, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        const MacStatement statement{
            QStringLiteral("SELECT MacAddr FROM %1 WHERE IsUsed=0 LIMIT %2;")
                .arg(macTableName)
                .arg(n),
            {}};
        if (!runStatement(query, statement, errorText))
            return;
        while (query.next())
            addresses << query.value(0).toString();
    });
    return addresses.join(QLatin1Char(';'));
}

int countMacPages(QString &errorText, const MacFilter &filter)
{
    qint64 rows = 0;
    withMacDatabase(macConnectionName, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        if (!runStatement(query, countMacStatement(filter), errorText))
            return;
        if (query.last())
            rows = query.value(0).toLongLong();
    });
    return int((rows + MacStore::PAGE_ROWS - 1) / MacStore::PAGE_ROWS);
}

QString selectMacPage(QString &errorText, int page, const MacFilter &filter)
{
    constexpr int COLUMNS = 8;
    QStringList entries;
    withMacDatabase(macConnectionName, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!runStatement(query, selectMacPageStatement(page, filter), errorText))
            return;
        while (query.next()) {
            QStringList fields;
            for (int column = 0; column < COLUMNS; ++column)
                fields << query.value(column).toString();
            entries << fields.join(QLatin1Char('|'));
        }
    });
    return entries.join(QLatin1Char(';'));
}

bool insertMacRange(const QString &connectionName, const MacRange &range, const QString &batch,
                    QString &errorText, const std::function<void(int)> &rowStored)
{
    bool ok = false;
    withMacDatabase(connectionName, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        const QString sql = QStringLiteral("INSERT INTO %1(MacAddr, CreateDateTime,IsUsed, "
                                           "batchNum) VALUES (?, ?, ?, ?);")
                                .arg(macTableName);
        qCDebug(lcMacpool).noquote()
            << sql << range.count << "rows from" << colonMac(range.first) << "step" << range.step;
        if (!db.transaction()) {
            errorText = db.lastError().text();
            return;
        }
        ok = query.prepare(sql) && insertRows(query, range, batch, errorText, rowStored);
        if (!ok && errorText.isEmpty())
            errorText = query.lastError().text();
        if (ok && !db.commit()) {
            errorText = db.lastError().text();
            ok = false;
        }
        if (!ok)
            db.rollback();
    });
    return ok;
}
