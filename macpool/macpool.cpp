// The pool's connection and its claims: claim and confirm. The journal's
// other moves are in macpool_journal.cpp; generation, pages and counts in
// macpool_store.cpp.
#include "macpool/macpool.h"

#include "base/logging.h"
#include "macpool/macpool_sql.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QSysInfo>
#include <QThread>
#include <QUrl>
#include <QUuid>

using namespace MacPoolSql;

namespace
{
const QString SQLITE_SCHEME = QStringLiteral("sqlite:");
const QStringList POSTGRES_SCHEMES{QStringLiteral("postgresql://"), QStringLiteral("postgres://")};
// Long enough for eight stations queueing for SQLite's write lock on a busy machine.
const QString SQLITE_OPTIONS = QStringLiteral("QSQLITE_BUSY_TIMEOUT=60000");
// A claim that loses rows to a racing claimer tries again this often.
constexpr int CLAIM_ROUNDS = 32;

// The journal's table, and the columns added to it after its first version.
const char *const CLAIM_TABLE =
    "CREATE TABLE IF NOT EXISTS %1(MacAddr varchar(255) primary key, State varchar(16), "
    "Claimer varchar(255), Station varchar(255), Operator varchar(255), ClaimedAt bigint, "
    "ExpiresAt bigint, Note varchar(255), Port varchar(255), WritingAt bigint, EndedAt bigint, "
    "EndedBy varchar(255))";
const char *const ADDED_COLUMNS[][2] = {{"Port", "varchar(255)"},
                                        {"WritingAt", "bigint"},
                                        {"EndedAt", "bigint"},
                                        {"EndedBy", "varchar(255)"}};

QString tr(const char *text)
{
    return QCoreApplication::translate("MacPool", text);
}

QString timeStamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString decoded(const QString &text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toUtf8()));
}

// "USER[:PASSWORD]@HOST[:PORT]/DB" of a PostgreSQL URL.
bool parsePostgres(const QString &rest, MacPoolUrl &url, QString &errorText)
{
    const int slash = rest.indexOf(QLatin1Char('/'));
    const int at = rest.lastIndexOf(QLatin1Char('@'), slash < 0 ? -1 : slash);
    if (slash < 0 || at < 0 || slash == rest.size() - 1 || rest.contains(QLatin1Char('?'))) {
        errorText = tr("地址池URL应为postgresql://用户@主机[:端口]/数据库。");
        return false;
    }
    const QString userInfo = rest.left(at);
    const int colon = userInfo.indexOf(QLatin1Char(':'));
    url.user = decoded(userInfo.left(colon));
    if (colon >= 0) {
        // In a URL it would stand in the process list for every user.
        errorText = tr("地址池URL不能含密码：请写入~/.pgpass或PGPASSFILE指定的文件。");
        return false;
    }
    QString hostPort = rest.mid(at + 1, slash - at - 1);
    const int portColon = hostPort.lastIndexOf(QLatin1Char(':'));
    if (portColon >= 0 && !hostPort.endsWith(QLatin1Char(']'))) {
        bool ok = false;
        url.port = hostPort.mid(portColon + 1).toInt(&ok);
        if (!ok || url.port < 1 || url.port > 65535) {
            errorText = tr("地址池URL的端口无效。");
            return false;
        }
        hostPort.truncate(portColon);
    }
    if (hostPort.startsWith(QLatin1Char('[')) && hostPort.endsWith(QLatin1Char(']')))
        hostPort = hostPort.mid(1, hostPort.size() - 2);
    url.host = decoded(hostPort);
    url.database = decoded(rest.mid(slash + 1));
    if (url.user.isEmpty() || url.host.isEmpty()) {
        errorText = tr("地址池URL缺少用户或主机。");
        return false;
    }
    return true;
}

QString newConnectionName()
{
    static QAtomicInteger<quint64> serial;
    return QStringLiteral("%1-%2-%3")
        .arg(macConnectionName)
        .arg(quintptr(QThread::currentThreadId()), 0, 16)
        .arg(serial.fetchAndAddRelaxed(1));
}
} // namespace

bool MacPoolUrl::parse(const QString &url, MacPoolUrl &parsed, QString &errorText)
{
    MacPoolUrl result;
    if (url.startsWith(SQLITE_SCHEME)) {
        result.kind = SQLITE;
        result.path = url.mid(SQLITE_SCHEME.size());
        if (result.path.isEmpty()) {
            errorText = tr("地址池URL缺少SQLite文件名。");
            return false;
        }
        parsed = result;
        return true;
    }
    for (const QString &scheme : POSTGRES_SCHEMES) {
        if (!url.startsWith(scheme))
            continue;
        result.kind = POSTGRESQL;
        if (!parsePostgres(url.mid(scheme.size()), result, errorText))
            return false;
        parsed = result;
        return true;
    }
    errorText = tr("不认识的地址池URL，应以sqlite:或postgresql://开头。");
    return false;
}

QString MacPoolUrl::redacted() const
{
    if (kind == SQLITE)
        return SQLITE_SCHEME + path;
    if (kind != POSTGRESQL)
        return QString();
    const QString shownHost =
        host.startsWith(QLatin1Char('/'))
            ? QString::fromUtf8(QUrl::toPercentEncoding(host))
            : (host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host);
    return QStringLiteral("postgresql://%1@%2%3/%4")
        .arg(user, shownHost, port > 0 ? QStringLiteral(":%1").arg(port) : QString(), database);
}

QString localPoolUrl()
{
    return SQLITE_SCHEME + macDbFileName;
}

MacPool::MacPool(const QString &url, const QString &claimer, MissingPoolFile missing)
    : claimerName(claimer.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : claimer),
      connection(newConnectionName())
{
    if (!MacPoolUrl::parse(url, where, whyNotOpen))
        return;
    if (where.kind == MacPoolUrl::SQLITE && missing == MissingPoolFile::Refuse &&
        !QFileInfo::exists(where.path)) {
        whyNotOpen = tr("MAC地址池文件%1不存在（只有生成地址时才会创建）。").arg(where.path);
        return;
    }
    open = openDatabase();
}

MacPool::~MacPool()
{
    qDeleteAll(kept); // before the connection goes
    if (!QSqlDatabase::contains(connection))
        return;
    QSqlDatabase::database(connection, false).close();
    QSqlDatabase::removeDatabase(connection);
}

QString MacPool::processClaimer()
{
    static const QString name = QStringLiteral("%1/%2/%3")
                                    .arg(QSysInfo::machineHostName())
                                    .arg(QCoreApplication::applicationPid())
                                    .arg(QUuid::createUuid().toString(QUuid::Id128).left(8));
    return name;
}

bool MacPool::openDatabase()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(
        postgres() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), connection);
    if (!db.isValid()) {
        whyNotOpen = tr("没有%1数据库驱动。").arg(db.driverName());
        return false;
    }
    if (postgres()) {
        db.setHostName(where.host);
        if (where.port > 0)
            db.setPort(where.port);
        db.setUserName(where.user);
        if (!where.password.isEmpty())
            db.setPassword(where.password);
        db.setDatabaseName(where.database);
        // A server whose host is down answers no SYN: give up within seconds, so a
        // station reports the pool unavailable (and spools its records) instead of hanging.
        db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    } else {
        db.setDatabaseName(where.path);
        db.setConnectOptions(SQLITE_OPTIONS);
    }
    qCDebug(lcMacpool).noquote() << "opening" << where.redacted() << "as" << connection;
    if (!db.open()) {
        fail(db.lastError(), whyNotOpen);
        return false;
    }
    QSqlQuery query(db);
    if (postgres()) {
        // The server's NOTICE lines (a table that exists already) stay off the terminal.
        return run(query, QStringLiteral("SET client_min_messages TO warning"), {}, whyNotOpen) &&
               addMissingColumns(whyNotOpen);
    }
    // Write-ahead logging: one sync per commit instead of a journal's three or
    // four, and readers never wait for a claimer. Every commit still reaches
    // the disk before it counts, since a lost confirm would hand an address
    // out again. (Like any SQLite file, the pool must not lie on a network
    // file system.)
    // A file that cannot switch (a read-only folder) keeps its journal.
    QString ignored;
    run(query, QStringLiteral("PRAGMA journal_mode=WAL"), {}, ignored);
    run(query, QStringLiteral("PRAGMA synchronous=FULL"), {}, ignored);
    // Files made before reservations existed get their table on first use.
    return run(query, QString::fromLatin1(CLAIM_TABLE).arg(claimTableName), {}, whyNotOpen) &&
           addMissingColumns(whyNotOpen);
}

// A journal table of an earlier version keeps its rows and gains the columns
// it lacks. Nothing to do while the table does not exist.
bool MacPool::addMissingColumns(QString &errorText)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    const QSqlRecord columns = db.record(claimTableName);
    if (columns.isEmpty())
        return true;
    QSqlQuery query(db);
    for (const auto &column : ADDED_COLUMNS) {
        bool present = false;
        for (int i = 0; i < columns.count(); ++i)
            present = present || columns.fieldName(i).compare(QLatin1String(column[0]),
                                                              Qt::CaseInsensitive) == 0;
        // Two stations starting at once may both add it on a server.
        const QString ifNew = postgres() ? QStringLiteral("IF NOT EXISTS ") : QString();
        if (!present && !run(query,
                             QStringLiteral("ALTER TABLE %1 ADD COLUMN %2%3 %4")
                                 .arg(claimTableName, ifNew, QLatin1String(column[0]),
                                      QLatin1String(column[1])),
                             {}, errorText))
            return false;
    }
    return true;
}

QSqlQuery *MacPool::runKept(const QString &sql, const QVariantList &values, QString &errorText)
{
    QSqlQuery *&query = kept[sql];
    if (!query) {
        query = new QSqlQuery(QSqlDatabase::database(connection, false));
        query->setForwardOnly(true);
        if (!query->prepare(sql)) {
            fail(query->lastError(), errorText);
            delete query;
            kept.remove(sql);
            return nullptr;
        }
    }
    qCDebug(lcMacpool).noquote() << traceMacStatement({sql, values});
    for (int i = 0; i < values.size(); ++i)
        query->bindValue(i, values.at(i));
    if (query->exec())
        return query;
    fail(query->lastError(), errorText);
    return nullptr;
}

qint64 MacPool::now() const
{
    return clock ? clock() : QDateTime::currentSecsSinceEpoch();
}

QStringList MacPool::claim(int n, const QString &station, const QString &operatorName,
                           QString &errorText, int seconds)
{
    return claim(n, station, QString(), operatorName, seconds, errorText);
}

QStringList MacPool::claim(int n, const QString &station, const QString &port,
                           const QString &operatorName, int seconds, QString &errorText)
{
    if (!open) {
        errorText = whyNotOpen;
        return {};
    }
    if (n < 1)
        return {};
    const QStringList who{station, port, operatorName};
    return postgres() ? claimPostgres(n, who, seconds, errorText)
                      : claimSqlite(n, who, seconds, errorText);
}

// Under SQLite's write lock: pick the lowest free addresses, then hold them.
QStringList MacPool::claimSqlite(int n, const QStringList &who, int seconds, QString &errorText)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!begin(db, false, errorText))
        return {};
    const qint64 at = now();
    QStringList picked;
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        bool ok = run(query,
                      QStringLiteral("SELECT m.MacAddr FROM %1 m WHERE m.IsUsed=0 AND %4 AND "
                                     "NOT EXISTS (SELECT 1 FROM %2 c WHERE c.MacAddr=m.MacAddr "
                                     "AND %3) ORDER BY m.MacAddr LIMIT ?")
                          .arg(macTableName, claimTableName, heldCondition(), unicastCondition()),
                      unicastValues() + heldValues(at) << n, errorText);
        while (ok && query.next())
            picked << query.value(0).toString();
        query.finish();
        const QString hold =
            QStringLiteral("INSERT OR REPLACE INTO %1(MacAddr, State, Claimer, Station, Port, "
                           "Operator, ClaimedAt, ExpiresAt, Note) VALUES (?, ?, ?, ?, ?, ?, ?, ?, "
                           "'')")
                .arg(claimTableName);
        for (int i = 0; ok && i < picked.size(); ++i)
            ok = run(query, hold,
                     {picked.at(i), CLAIMED, claimerName, who.at(0), who.at(1), who.at(2), at,
                      at + seconds},
                     errorText);
        if (!ok) {
            query.finish();
            rollback(db, false);
            return {};
        }
    }
    return commit(db, false, errorText) ? picked : QStringList();
}

// One statement: the picked rows are locked (others skip them), and a
// reservation row is only overwritten when it has expired, so a claimer
// whose snapshot missed a fresh reservation gets nothing for that address.
QStringList MacPool::claimPostgres(int n, const QStringList &who, int seconds, QString &errorText)
{
    // The conflict clause repeats the held condition negated: a row that
    // became held since the snapshot is left alone.
    const QString sql =
        QStringLiteral(
            "WITH picked AS (SELECT m.MacAddr FROM %1 m WHERE m.IsUsed=0 AND %4 AND NOT EXISTS "
            "(SELECT 1 FROM %2 c WHERE c.MacAddr=m.MacAddr AND %3) ORDER BY m.MacAddr "
            "LIMIT CAST(? AS bigint) FOR UPDATE OF m %5), "
            "taken AS (INSERT INTO %2 AS c (MacAddr, State, Claimer, Station, Port, Operator, "
            "ClaimedAt, ExpiresAt, Note) SELECT MacAddr, CAST(? AS varchar), CAST(? AS varchar), "
            "CAST(? AS varchar), CAST(? AS varchar), CAST(? AS varchar), CAST(? AS bigint), "
            "CAST(? AS bigint), '' "
            "FROM picked ON CONFLICT (MacAddr) DO UPDATE SET State=EXCLUDED.State, "
            "Claimer=EXCLUDED.Claimer, Station=EXCLUDED.Station, Port=EXCLUDED.Port, "
            "Operator=EXCLUDED.Operator, ClaimedAt=EXCLUDED.ClaimedAt, "
            "ExpiresAt=EXCLUDED.ExpiresAt, Note='', WritingAt=NULL, EndedAt=NULL, EndedBy=NULL "
            "WHERE NOT %3 RETURNING c.MacAddr) "
            "SELECT p.MacAddr, t.MacAddr IS NOT NULL FROM picked p "
            "LEFT JOIN taken t ON t.MacAddr=p.MacAddr ORDER BY p.MacAddr")
            .arg(macTableName, claimTableName, heldCondition(), unicastCondition());
    QStringList taken;
    // Rows other claimers hold locked are skipped; when a round finds none
    // but locked ones, the next round waits for those claimers to end.
    bool waitForLocks = false;
    for (int round = 0; round < CLAIM_ROUNDS && taken.size() < n; ++round) {
        const qint64 at = now();
        QSqlQuery *query =
            runKept(sql.arg(waitForLocks ? QString() : QStringLiteral("SKIP LOCKED")),
                    unicastValues() + heldValues(at) +
                        QVariantList{n - taken.size(), CLAIMED, claimerName, who.at(0), who.at(1),
                                     who.at(2), at, at + seconds} +
                        heldValues(at),
                    errorText);
        if (!query)
            return taken;
        int picked = 0;
        while (query->next()) {
            ++picked;
            if (query->value(1).toBool())
                taken << query->value(0).toString();
        }
        query->finish();
        if (picked == 0 && waitForLocks)
            break; // nothing free left
        waitForLocks = picked == 0;
    }
    return taken;
}

bool MacPool::confirm(const QString &mac, const MacUsageRecord &record, QString &errorText)
{
    if (!open) {
        errorText = whyNotOpen;
        return false;
    }
    if (postgres())
        return confirmPostgres(mac, record, errorText);
    const QStringList forms = storedForms(mac);
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!begin(db, false, errorText))
        return false;
    bool failed = false;
    bool ended = false;
    {
        QSqlQuery query(db); // under SQLite's write lock

        failed = !run(query,
                      QStringLiteral("UPDATE %1 SET IsUsed=1, UsedDateTime=?, BoardType=?, "
                                     "BarCode=?, Operator=? WHERE MacAddr IN (%2) AND IsUsed=0")
                          .arg(macTableName, marks(forms.size())),
                      QVariantList{timeStamp(), record.BoardType, record.BarCode, record.Operator} +
                          QVariantList(forms.begin(), forms.end()),
                      errorText);
        if (!failed && query.numRowsAffected() > 0) {
            failed = !run(query,
                          QStringLiteral("UPDATE %1 SET State=?, EndedAt=? WHERE MacAddr IN (%2) "
                                         "AND Claimer=? AND State IN (?, ?)")
                              .arg(claimTableName, marks(forms.size())),
                          QVariantList{USED, now()} + QVariantList(forms.begin(), forms.end()) +
                              QVariantList{claimerName, CLAIMED, WRITING},
                          errorText);
            ended = !failed && query.numRowsAffected() > 0;
        }
        if (ended) {
            ended = commit(db, false, errorText);
            failed = !ended;
        } else
            rollback(db, false);
    }
    if (!ended && !failed)
        errorText = whyNotHeld(mac);
    return ended;
}

// One statement: the address row is locked first, as a claim locks it, so a
// racing claim and this confirm queue rather than deadlock; the reservation
// must still be this claimer's when its row moves to used.
bool MacPool::confirmPostgres(const QString &mac, const MacUsageRecord &record, QString &errorText)
{
    const QStringList forms = storedForms(mac);
    QSqlQuery *query = runKept(
        QStringLiteral("WITH target AS (SELECT MacAddr FROM %1 WHERE MacAddr IN (%3) AND "
                       "IsUsed=0 FOR UPDATE), "
                       "ended AS (UPDATE %2 c SET State=CAST(? AS varchar), "
                       "EndedAt=CAST(? AS bigint) FROM target t WHERE c.MacAddr=t.MacAddr "
                       "AND c.Claimer=CAST(? AS varchar) AND c.State IN (CAST(? AS varchar), "
                       "CAST(? AS varchar)) RETURNING c.MacAddr) "
                       "UPDATE %1 m SET IsUsed=1, UsedDateTime=CAST(? AS varchar), "
                       "BoardType=CAST(? AS varchar), BarCode=CAST(? AS varchar), "
                       "Operator=CAST(? AS varchar) FROM ended e WHERE m.MacAddr=e.MacAddr")
            .arg(macTableName, claimTableName, marks(forms.size())),
        QVariantList(forms.begin(), forms.end()) +
            QVariantList{USED, now(), claimerName, CLAIMED, WRITING, timeStamp(), record.BoardType,
                         record.BarCode, record.Operator},
        errorText);
    if (!query)
        return false;
    const bool ended = query->numRowsAffected() > 0;
    query->finish();
    if (ended)
        return true;
    errorText = whyNotHeld(mac);
    return false;
}
