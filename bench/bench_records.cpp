// The unit records against the sqlite3 and psql shells doing the same work, side by side in one
// run (median of 3 alternating runs each):
//   insert: 100,000 records into a fresh mavo_unit_record (table and indexes created), one
//           transaction, through UnitRecordStore::insert; the shell runs a script with the same
//           CREATE statements and one INSERT ... ON CONFLICT DO NOTHING per record, values
//           (the record's JSON text included) written out;
//   yield:  `records yield --by station` over them: computeYield's three statements, against the
//           shell running the same statements.
// On a SQLite file (WAL, synchronous=FULL on both sides) and on a PostgreSQL server of the
// bench's own. Prints ours/shell ratios. Then writes the HTML report for 1,000 synthetic
// records to FILE (default records-report.html in the working directory) and prints its size.
// Needs sqlite3 and psql on the PATH and the PostgreSQL server binaries. Run:
//   build/bench/bench_records [FILE]

#include "cli/recordsreport.h"
#include "macpool/unityield.h"
#include "support/testpgserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{
constexpr int RUNS = 3;
constexpr int RECORDS = 100000;
constexpr int REPORT_RECORDS = 1000;
const char *const STEPS[] = {"login", "wifi-mac", "verify", "pull-log", "upgrade"};
const char *const ERRORS[] = {"timeout", "module-error", "checksum", "digest-mismatch"};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Record i of `count` of a line with 6 stations and 8 slots over 14 days;
// one unit in 12 fails, and the record after a failure is that unit again.
QJsonObject synthetic(int i, int count)
{
    const bool failed = i % 12 == 5;
    const int unit = i % 12 == 6 ? i - 1 : i;
    const QDateTime start =
        QDateTime(QDate(2026, 11, 20), QTime(6, 0), Qt::UTC).addSecs(qint64(i) * 1209600 / count);
    QJsonObject record{{"unitId", QString("00000000-0000-4000-8000-%1").arg(i, 12, 10, QChar('0'))},
                       {"station", QString("station-%1").arg(i / 3 % 6 + 1)},
                       {"slot", QString::number(i / 7 % 8 + 1)},
                       {"port", QString("/dev/ttyUSB%1").arg(i % 8)},
                       {"operator", "wang"},
                       {"startedAt", start.toString(Qt::ISODate)},
                       {"endedAt", start.addSecs(240).toString(Qt::ISODate)},
                       {"ok", !failed},
                       {"wifiMac", colonMac(0x907EBA000000ULL + quint64(unit) * 2)},
                       {"feMac", colonMac(0x907EBA000001ULL + quint64(unit) * 2)},
                       {"firmwareSha256", QString(64, QChar('a'))},
                       {"toolVersion", "1.0.9"},
                       {"steps", QJsonArray{"login", "info", "ssid", "wifi-mac", "fe-mac"}}};
    if (failed) {
        record.insert("failedStep", STEPS[i / 12 % 5]);
        record.insert("error", ERRORS[i / 60 % 4]);
        record.insert("message", QStringLiteral("模块无应答（第%1次）").arg(i));
    }
    return record;
}

QString literal(const QVariant &value)
{
    if (value.isNull())
        return QStringLiteral("NULL");
    if (value.type() == QVariant::Int)
        return value.toString();
    return QLatin1Char('\'') + value.toString().replace('\'', "''") + QLatin1Char('\'');
}

QString filled(QString sql, const QVariantList &values)
{
    for (const QVariant &value : values)
        sql.replace(sql.indexOf('?'), 1, literal(value));
    return sql;
}

// The DDL and the inserts as the store runs them, values written out.
QString insertScript(const QList<QJsonObject> &records, bool sqlite)
{
    QString script = sqlite ? "PRAGMA journal_mode=WAL;\nPRAGMA synchronous=FULL;\n" : "";
    script += "DROP TABLE IF EXISTS mavo_unit_record;\n";
    script += "CREATE TABLE IF NOT EXISTS mavo_unit_record(unit_id varchar(64) primary key, "
              "station varchar(255), slot varchar(64), port varchar(255), operator varchar(255), "
              "started_at varchar(32), ended_at varchar(32), ok integer, error varchar(64), "
              "failed_step varchar(64), wifi_mac varchar(32), fe_mac varchar(32), "
              "firmware_sha256 varchar(64), tool_version varchar(64), recipe_sha256 "
              "varchar(64), record text);\n"
              "CREATE INDEX IF NOT EXISTS mavo_unit_record_wifi ON mavo_unit_record(wifi_mac);\n"
              "CREATE INDEX IF NOT EXISTS mavo_unit_record_fe ON mavo_unit_record(fe_mac);\n"
              "CREATE INDEX IF NOT EXISTS mavo_unit_record_start ON "
              "mavo_unit_record(started_at);\nBEGIN;\n";
    const QString insert = "INSERT INTO mavo_unit_record(unit_id, station, slot, port, operator, "
                           "started_at, ended_at, ok, error, failed_step, wifi_mac, fe_mac, "
                           "firmware_sha256, tool_version, recipe_sha256, record) VALUES(" +
                           QString("?, ").repeated(15) + "?) ON CONFLICT (unit_id) DO NOTHING;\n";
    for (const QJsonObject &record : records)
        script += filled(insert, unitRecordValues(record));
    return script + "COMMIT;\n";
}

QString yieldScript()
{
    return yieldStatement("CAST('' AS varchar(8))", "1=1") + ";\n" +
           yieldStatement("COALESCE(station, '')", "1=1") + ";\n" + failureStatement("1=1", true) +
           ";\n";
}

void writeText(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0)
        qFatal("cannot write %s", qPrintable(path));
}

double shellMs(const QString &url, const QString &scriptPath)
{
    QProcess shell;
    shell.setStandardInputFile(scriptPath);
    shell.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    if (url.startsWith("sqlite:"))
        shell.start("sqlite3", {"-bail", url.mid(7)});
    else
        shell.start("psql", {"-X", "-q", "-v", "ON_ERROR_STOP=1", url});
    if (!shell.waitForFinished(1800000) || shell.exitCode() != 0)
        qFatal("shell failed: %s", shell.readAllStandardError().constData());
    return double(clock.nsecsElapsed()) / 1e6;
}

double oursInsertMs(const QString &url, const QList<QJsonObject> &records)
{
    UnitRecordStore store(url);
    QString error;
    QSqlQuery(QSqlDatabase::database(store.connectionName()))
        .exec("DROP TABLE IF EXISTS mavo_unit_record");
    QElapsedTimer clock;
    clock.start();
    int added = 0;
    if (!store.createTable(error) || !store.insert(records, error, &added) || added != RECORDS)
        qFatal("insert failed: %s", qPrintable(error));
    return double(clock.nsecsElapsed()) / 1e6;
}

double oursYieldMs(const QString &url)
{
    UnitRecordStore store(url);
    QElapsedTimer clock;
    clock.start();
    YieldReport report;
    QString error;
    if (!computeYield(store, {}, YieldBy::Station, report, error) ||
        report.total.records != RECORDS)
        qFatal("yield failed: %s", qPrintable(error));
    return double(clock.nsecsElapsed()) / 1e6;
}

void benchBackend(const char *name, const QString &url, const QList<QJsonObject> &records)
{
    const bool sqlite = url.startsWith("sqlite:");
    writeText("insert.sql", insertScript(records, sqlite));
    writeText("yield.sql", yieldScript());
    std::vector<double> ours, shell, oursYield, shellYield;
    for (int run = 0; run < RUNS; ++run) {
        ours.push_back(oursInsertMs(url, records));
        oursYield.push_back(oursYieldMs(url));
        shell.push_back(shellMs(url, "insert.sql"));
        shellYield.push_back(shellMs(url, "yield.sql"));
    }
    const char *tool = sqlite ? "sqlite3" : "psql";
    std::printf("%s insert %d: ours %.0f ms, %s %.0f ms; ratio %.2f\n", name, RECORDS, median(ours),
                tool, median(shell), median(ours) / median(shell));
    std::printf("%s yield --by station: ours %.0f ms, %s %.0f ms; ratio %.2f\n", name,
                median(oursYield), tool, median(shellYield),
                median(oursYield) / median(shellYield));
}

void writeReport(const QString &path)
{
    const QString url = "sqlite:" + QDir::current().filePath("report.db");
    MacPool(url, QString(), MissingPoolFile::Create);
    UnitRecordStore store(url);
    QList<QJsonObject> records;
    for (int i = 0; i < REPORT_RECORDS; ++i)
        records << synthetic(i, REPORT_RECORDS);
    RecordsReportData data;
    data.title = "KB-R5530 生产记录（1000条合成记录）";
    UnitRecordFilter failed;
    failed.failedOnly = true;
    QString error;
    if (!store.createTable(error) || !store.insert(records, error) ||
        !computeYield(store, {}, YieldBy::Day, data.byDay, error) ||
        !computeYield(store, {}, YieldBy::Station, data.byStation, error))
        qFatal("report failed: %s", qPrintable(error));
    data.failed = store.select(failed, error);
    const QByteArray html = recordsReportHtml(data);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(html) != html.size())
        qFatal("cannot write %s", qPrintable(path));
    std::printf("report of %d records: %s, %lld bytes\n", REPORT_RECORDS, qPrintable(path),
                qint64(html.size()));
}
} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QCoreApplication app(argc, argv);
    const QString reportPath =
        QFileInfo(argc > 1 ? QString::fromLocal8Bit(argv[1]) : "records-report.html")
            .absoluteFilePath();
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        qFatal("no working directory");
    writeReport(reportPath);
    QList<QJsonObject> records;
    for (int i = 0; i < RECORDS; ++i)
        records << synthetic(i, RECORDS);
    MacPool(QStringLiteral("sqlite:records.db"), QString(), MissingPoolFile::Create);
    benchBackend("SQLite", "sqlite:" + QDir::current().filePath("records.db"), records);
    TestPgServer server;
    if (!server.failure().isEmpty())
        qFatal("PostgreSQL: %s", qPrintable(server.failure()));
    benchBackend("PostgreSQL", server.url(), records);
    return 0;
}
