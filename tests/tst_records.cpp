#include "macpool/unityield.h"
#include "provision/recordsink.h"
#include "support/testpgserver.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

namespace
{
constexpr int EACH = 40;

QJsonObject unit(const QString &station, int n, bool ok = true)
{
    return {{"station", station},
            {"slot", QString::number(n % 4)},
            {"port", "/dev/ttyUSB0"},
            {"ok", ok},
            {"startedAt", QString("2026-12-01T08:%1:00Z").arg(n % 60, 2, 10, QChar('0'))},
            {"wifiMac", QString("90:7e:ba:00:%1:%2")
                            .arg(station.size(), 2, 16, QChar('0'))
                            .arg(n % 256, 2, 16, QChar('0'))}};
}

// "group:records/units/passed/failed/firstPass" for each group, joined by ";".
QString counts(const QList<YieldRow> &rows)
{
    QStringList text;
    for (const YieldRow &row : rows)
        text << QString("%1:%2/%3/%4/%5/%6")
                    .arg(row.group)
                    .arg(row.records)
                    .arg(row.units)
                    .arg(row.passed)
                    .arg(row.failed)
                    .arg(row.firstPass);
    return text.join(';');
}

QString failures(const QList<FailureRow> &rows)
{
    QStringList text;
    for (const FailureRow &row : rows)
        text << QString("%1/%2:%3").arg(row.step, row.error).arg(row.count);
    return text.join(';');
}
} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void twoStationsAtOnce_data() { backends(); }
    void twoStationsAtOnce();
    void serverAwayForOneUnit_data() { backends(); }
    void serverAwayForOneUnit();
    void yieldCounts_data();
    void yieldCounts();

private:
    void backends();
    // An empty records table of the row's backend; its URL.
    QString freshDatabase();
    QList<UnitRecordRow> stored(const QString &url, const UnitRecordFilter &filter = {});

    std::unique_ptr<TestPgServer> server;
    std::unique_ptr<QTemporaryDir> files;
    int serial = 0;
};

void TestRecords::initTestCase()
{
    server = std::make_unique<TestPgServer>();
    QVERIFY2(server->failure().isEmpty(), qPrintable(server->failure()));
    files = std::make_unique<QTemporaryDir>();
    QVERIFY(files->isValid());
}

void TestRecords::backends()
{
    QTest::addColumn<bool>("postgres");
    QTest::newRow("sqlite") << false;
    QTest::newRow("postgresql") << true;
}

QString TestRecords::freshDatabase()
{
    QFETCH(bool, postgres);
    const QString url =
        postgres ? server->url() : "sqlite:" + files->filePath(QString("pool%1.db").arg(serial++));
    MacPool pool(url, QString(), MissingPoolFile::Create); // makes the SQLite file
    QSqlQuery(QSqlDatabase::database(pool.connectionName()))
        .exec("DROP TABLE IF EXISTS mavo_unit_record");
    UnitRecordStore store(url);
    QString error;
    [&] { QVERIFY2(store.isOpen() && store.createTable(error), qPrintable(error)); }();
    return url;
}

QList<UnitRecordRow> TestRecords::stored(const QString &url, const UnitRecordFilter &filter)
{
    UnitRecordStore store(url);
    QString error;
    const QList<UnitRecordRow> rows = store.select(filter, error);
    [&] { QVERIFY2(error.isEmpty(), qPrintable(error)); }();
    return rows;
}

// Two stations' sinks store at once, each storing every record twice (as a
// repeated upload would): every record lands, none twice.
void TestRecords::twoStationsAtOnce()
{
    const QString url = freshDatabase();
    QTemporaryDir spools;
    std::atomic<int> spooled{0};
    QList<QThread *> threads;
    for (const QString station : {"station-a", "station-bb"}) {
        threads << QThread::create([&, station] {
            RecordSink sink(url, spools.filePath(station));
            for (int i = 0; i < EACH; ++i) {
                const QJsonObject record = RecordSink::withUnitId(unit(station, i, i % 5 != 0));
                for (int again = 0; again < 2; ++again)
                    spooled += sink.store(record) != RecordSink::Stored::Database;
            }
        });
        threads.last()->start();
    }
    for (QThread *thread : threads) {
        QVERIFY(thread->wait(120000));
        delete thread;
    }
    QCOMPARE(spooled.load(), 0);
    const QList<UnitRecordRow> rows = stored(url);
    QSet<QString> ids;
    QHash<QString, int> perStation;
    for (const UnitRecordRow &row : rows) {
        ids << row.unitId;
        ++perStation[row.station];
        QCOMPARE(row.record.value("unitId").toString(), row.unitId);
    }
    QCOMPARE(rows.size(), 2 * EACH);
    QCOMPARE(ids.size(), 2 * EACH);
    QCOMPARE(perStation.value("station-a"), EACH);
    QCOMPARE(perStation.value("station-bb"), EACH);
}

// The database goes away for one unit: its record waits in the spool, goes
// up before the next unit's, and a second upload of it (a crash between
// commit and the spool's rewrite) adds nothing.
void TestRecords::serverAwayForOneUnit()
{
    QFETCH(bool, postgres);
    const QString url = freshDatabase();
    const QString file = url.mid(int(strlen("sqlite:")));
    const QString spoolPath = files->filePath(QString("spool%1").arg(serial++));
    RecordSink sink(url, spoolPath);
    const auto away = [&](bool gone) {
        if (postgres)
            return gone ? server->stop() : server->start();
        return gone ? QFile::rename(file, file + ".away") : QFile::rename(file + ".away", file);
    };
    QCOMPARE(sink.store(unit("st", 1)), RecordSink::Stored::Database);
    QVERIFY(away(true));
    const QJsonObject lost = RecordSink::withUnitId(unit("st", 2, false));
    const RecordSink::Stored whileAway = sink.store(lost);
    QVERIFY(away(false));
    QCOMPARE(whileAway, RecordSink::Stored::Spool);
    QCOMPARE(sink.spoolCount(), 1);
    QCOMPARE(stored(url).size(), 1);

    RecordSink nextRun(url, spoolPath);
    QCOMPARE(nextRun.store(unit("st", 3)), RecordSink::Stored::Database);
    QCOMPARE(nextRun.spoolCount(), 0);
    QString problem;
    QVERIFY(RecordSpool(spoolPath).append(lost, &problem));
    QCOMPARE(nextRun.flush(&problem), 1);
    QCOMPARE(nextRun.spoolCount(), 0);
    UnitRecordFilter byId;
    byId.failedOnly = true;
    const QList<UnitRecordRow> failed = stored(url, byId);
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.first().unitId, lost.value("unitId").toString());
    QCOMPARE(stored(url).size(), 3);
}

void TestRecords::yieldCounts_data()
{
    QTest::addColumn<bool>("postgres");
    QTest::addColumn<QString>("by");
    QTest::addColumn<QString>("since");
    QTest::addColumn<QString>("total");
    QTest::addColumn<QString>("groups");
    QTest::addColumn<QString>("failures");

    const QString allFailures = "upgrade/timeout:2;login/login-refused:1;login/no-port:1";
    for (bool postgres : {false, true}) {
        const char *backend = postgres ? "postgresql" : "sqlite";
        const auto row = [&](const char *name) {
            return &(QTest::newRow(qPrintable(QString("%1, %2").arg(backend, name))) << postgres);
        };
        *row("whole") << ""
                      << ""
                      << ":7/5/3/2/2"
                      << "" << allFailures;
        *row("by station") << "station"
                           << ""
                           << ":7/5/3/2/2"
                           << "s1:3/2/2/0/1;s2:4/3/1/2/1" << allFailures;
        *row("by slot") << "slot"
                        << ""
                        << ":7/5/3/2/2"
                        << "1:4/3/2/1/1;2:3/2/1/1/1" << allFailures;
        *row("by day") << "day"
                       << ""
                       << ":7/5/3/2/2"
                       << "2026-12-01:2/1/1/0/0;2026-12-02:5/4/2/2/2" << allFailures;
        *row("by step") << "step"
                        << ""
                        << ":7/5/3/2/2"
                        << ""
                        << "login/:2;upgrade/:2";
        *row("since a day") << ""
                            << "2026-12-02T00:00:00Z"
                            << ":5/4/2/2/2"
                            << ""
                            << "login/login-refused:1;login/no-port:1;upgrade/timeout:1";
    }
}

// A known set: M1 fails then passes, M2 and M3 pass first time, M4 fails
// twice, and one unit fails before it has a Wi-Fi address.
void TestRecords::yieldCounts()
{
    QFETCH(QString, by);
    QFETCH(QString, since);
    const QString url = freshDatabase();
    const auto record = [](const char *mac, const char *station, const char *slot,
                           const char *start, bool ok, const char *step, const char *error) {
        QJsonObject r{{"station", station}, {"slot", slot}, {"startedAt", start}, {"ok", ok}};
        if (*mac)
            r.insert("wifiMac", mac);
        if (!ok)
            r.insert("failedStep", step), r.insert("error", error);
        return RecordSink::withUnitId(r);
    };
    UnitRecordStore store(url);
    QString error;
    QVERIFY2(
        store.insert(
            {record("90:7E:BA:00:00:01", "s1", "1", "2026-12-01T08:00:00Z", false, "upgrade",
                    "timeout"),
             record("90-7E-BA-00-00-01", "s1", "1", "2026-12-01T09:00:00Z", true, "", ""),
             record("90:7E:BA:00:00:02", "s1", "2", "2026-12-02T08:00:00Z", true, "", ""),
             record("90:7E:BA:00:00:03", "s2", "1", "2026-12-02T08:00:00Z", true, "", ""),
             record("90:7E:BA:00:00:04", "s2", "2", "2026-12-02T09:00:00Z", false, "login",
                    "login-refused"),
             record("907EBA000004", "s2", "2", "2026-12-02T10:00:00Z", false, "upgrade", "timeout"),
             record("", "s2", "1", "2026-12-02T11:00:00Z", false, "login", "no-port")},
            error),
        qPrintable(error));
    YieldBy grouping = YieldBy::None;
    QVERIFY(parseYieldBy(by, grouping));
    UnitRecordFilter filter;
    filter.since = since;
    YieldReport report;
    QVERIFY2(computeYield(store, filter, grouping, report, error), qPrintable(error));
    QTEST(counts({report.total}), "total");
    QTEST(counts(report.groups), "groups");
    QTEST(failures(report.failures), "failures");
}

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
