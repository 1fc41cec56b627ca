// The MAC pool against the sqlite3 command-line shell on the same file layout, side by side in
// one run (median of 5 alternating runs each):
//   generate: 10,000 addresses through HandleSqlMac, start() to isEndSignal on the GUI thread,
//             against the shell inserting the same rows in one transaction from a script;
//   search:   on a pool of 1,000,000 rows, a filtered count, page 1 and a late page, against the
//             shell running the same statements (values filled in);
//   stall:    the GUI thread's longest gap between 1 ms timer ticks during a generation whose
//             progress drives a visible progress box;
//   claims:   8 clients, one thread and connection each, claim one address and confirm it, 500
//             times each, on a SQLite file and on a PostgreSQL server of the bench's own (default
//             settings, fsync on); addresses claimed and confirmed per second.
// Needs the sqlite3 shell on the PATH and the PostgreSQL server binaries. Run:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_macpool

#include "macpool/macpool.h"
#include "macpool/macstore.h"
#include "support/testpgserver.h"
#include "ui/boxes/progressbar.h"
#include "ui/macpage/handlesqlmac.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{
constexpr int RUNS = 5;
constexpr int GENERATED = 10000;
constexpr int POOL_ROWS = 1000000;
const QString CREATE = QStringLiteral(
    "create table mavo_rfid_mac(MacAddr varchar(255) primary key,CreateDateTime varchar(255),"
    "IsUsed int,UsedDateTime varchar(255),BoardType varchar(255),BarCode varchar(255),"
    "Operator varchar(255),batchNum varchar varchar(255));\n");

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void freshPool()
{
    QSqlDatabase::removeDatabase(macConnectionName);
    QFile::remove(macDbFileName);
    createMacTable();
    QSqlDatabase::removeDatabase(macConnectionName);
}

// Milliseconds for the shell to run `script` on the pool file.
double shellMs(const QString &scriptPath)
{
    QProcess shell;
    shell.setStandardInputFile(scriptPath);
    shell.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    shell.start(QStringLiteral("sqlite3"), {macDbFileName});
    if (!shell.waitForFinished(600000) || shell.exitCode() != 0)
        qFatal("sqlite3 failed: %s", shell.readAllStandardError().constData());
    return double(clock.nsecsElapsed()) / 1e6;
}

void writeFile(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(text.toUtf8());
}

struct Generation {
    double ms;
    double longestStallMs;
};

// One generation as the page runs it: the worker's progress feeds a shown progress box.
Generation generateOurs(Progressbar &box)
{
    HandleSqlMac worker(QStringLiteral("90:7E:BA:00:00:00"), GENERATED, 6, 1, QStringLiteral(":"),
                        QString());
    QObject::connect(&worker, &HandleSqlMac::progressVSignal, &box, &Progressbar::onSetValue);
    QEventLoop loop;
    QObject::connect(&worker, &HandleSqlMac::isEndSignal, &loop, &QEventLoop::quit);
    box.onSetRange(0, GENERATED + 1);
    box.show();
    QElapsedTimer tick;
    double longest = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = std::max(longest, double(tick.nsecsElapsed()) / 1e6);
        tick.restart();
    });
    QElapsedTimer clock;
    clock.start();
    tick.start();
    ticker.start();
    worker.start();
    loop.exec();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    ticker.stop();
    worker.wait();
    box.hide();
    return {ms, longest};
}

QString insertScript()
{
    const QString stamp = QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss");
    QString script = QStringLiteral("BEGIN;\n");
    for (int i = 0; i < GENERATED; ++i)
        script += QStringLiteral("INSERT INTO mavo_rfid_mac(MacAddr, CreateDateTime,IsUsed, "
                                 "batchNum) VALUES ('%1', '%2', 0, '');\n")
                      .arg(colonMac(0x907EBA000000ULL + quint64(i)), stamp);
    return script + QStringLiteral("COMMIT;\n");
}

void benchGenerate()
{
    writeFile("insert.sql", insertScript());
    Progressbar box(QStringLiteral("正在生成MAC信息"));
    std::vector<double> ours, shell, stalls;
    for (int run = 0; run < RUNS; ++run) {
        freshPool();
        const Generation generation = generateOurs(box);
        ours.push_back(generation.ms);
        stalls.push_back(generation.longestStallMs);
        freshPool();
        shell.push_back(shellMs("insert.sql"));
    }
    std::printf("generate %d: ours %.1f ms, sqlite3 %.1f ms (medians of %d)\n", GENERATED,
                median(ours), median(shell), RUNS);
    std::printf("generate ratio = ours/sqlite3 = %.2f\n", median(ours) / median(shell));
    std::printf("GUI thread longest stall during a generation: median %.1f ms, worst %.1f ms\n",
                median(stalls), *std::max_element(stalls.begin(), stalls.end()));
}

// A pool of a million rows, every seventh one used.
void buildLargePool()
{
    freshPool();
    MacRange range;
    range.first = 0x907EBA000000ULL;
    range.count = POOL_ROWS;
    range.step = 1;
    QString error;
    if (!MacPool(localPoolUrl()).generate(range, QString(), error))
        qFatal("pool: %s", qPrintable(error));
    writeFile("used.sql", "UPDATE mavo_rfid_mac SET IsUsed=1, Operator='li', UsedDateTime="
                          "CreateDateTime WHERE rowid % 7 = 0;\n");
    shellMs("used.sql");
}

void benchSearch()
{
    buildLargePool();
    MacFilter filter;
    filter.isUsed = 0;
    filter.mac = QStringLiteral("90:7E:BA:0");
    QString error;
    const int pages = countMacPages(filter, error);
    const int latePage = pages - 10;
    writeFile("search.sql", traceMacStatement(countMacStatement(filter)) + "\n" +
                                traceMacStatement(selectMacPageStatement(1, filter)) + "\n" +
                                traceMacStatement(selectMacPageStatement(latePage, filter)) + "\n");
    std::vector<double> ours, shell;
    for (int run = 0; run < RUNS; ++run) {
        QElapsedTimer clock;
        clock.start();
        countMacPages(filter, error);
        const QList<MacRow> first = selectMacPage(1, filter, error);
        const QList<MacRow> late = selectMacPage(latePage, filter, error);
        ours.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (!error.isEmpty() || first.isEmpty() || late.isEmpty())
            qFatal("search failed: %s", qPrintable(error));
        shell.push_back(shellMs("search.sql"));
    }
    std::printf("search on %d rows (count, page 1, page %d of %d): ours %.1f ms, sqlite3 %.1f ms "
                "(medians of %d)\n",
                POOL_ROWS, latePage, pages, median(ours), median(shell), RUNS);
    std::printf("search ratio = ours/sqlite3 = %.2f\n", median(ours) / median(shell));
}
constexpr int CLIENTS = 8;
constexpr int CLAIMS_EACH = 500;

// Addresses claimed and confirmed per second by CLIENTS threads on the pool at `url`.
double claimsPerSecond(const QString &url)
{
    QString error;
    {
        MacPool pool(url, QString(), MissingPoolFile::Create);
        if (!pool.createTables(error) || !pool.clear(error) ||
            !pool.generate({0x907EBA000000ULL, CLIENTS * CLAIMS_EACH, 1}, QString(), error))
            qFatal("claim pool: %s %s", qPrintable(pool.openError()), qPrintable(error));
    }
    QAtomicInt failures;
    std::vector<QThread *> clients;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < CLIENTS; ++i) {
        clients.push_back(QThread::create([&url, &failures, i] {
            MacPool pool(url);
            const QString name = QStringLiteral("bench%1").arg(i);
            QString why;
            for (int n = 0; n < CLAIMS_EACH; ++n) {
                const QStringList mac = pool.claim(1, name, name, why);
                if (mac.size() != 1 || !pool.confirm(mac.first(), {{}, 1, {}, {}, name}, why))
                    failures.ref();
            }
        }));
        clients.back()->start();
    }
    for (QThread *client : clients) {
        client->wait();
        delete client;
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    MacPool pool(url);
    if (failures.loadRelaxed() != 0 || pool.stats(error).used != CLIENTS * CLAIMS_EACH)
        qFatal("claims failed: %d", failures.loadRelaxed());
    return CLIENTS * CLAIMS_EACH / seconds;
}

void benchClaims()
{
    const double sqlite = claimsPerSecond(QStringLiteral("sqlite:claims.db"));
    TestPgServer server;
    if (!server.failure().isEmpty())
        qFatal("PostgreSQL: %s", qPrintable(server.failure()));
    const double postgres = claimsPerSecond(server.url());
    std::printf("claims with %d clients (claim 1 + confirm, %d each): SQLite %.0f/s, PostgreSQL "
                "%.0f/s\n",
                CLIENTS, CLAIMS_EACH, sqlite, postgres);
}
} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        qFatal("no working directory");
    benchClaims();
    benchGenerate();
    benchSearch();
    QSqlDatabase::removeDatabase(macConnectionName);
    return 0;
}
