// A production station against module-sim processes paced at 230400 baud:
// a 1 MiB firmware, a 64 KiB log and two MAC addresses from an SQLite pool
// per unit. Prints, for `kbmaint --station` and for the station page, the
// parallel ratio time(24 slots)/time(1 slot); the GUI thread's CPU while 8
// slots run on the page. `bench_station memory` prints the peak memory of
// the page with 24 slots upgrading a 30 MiB image, measured over the first
// PEAK_SECONDS of the upgrade (the image is read once and shared, so the
// peak is reached as soon as every slot sends). Not run by CI.

#include "ui/station/stationboard.h"
#include "ui/station/stationpage.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <random>
#include <sys/resource.h>
#include <vector>

namespace
{

constexpr int BAUD = 230400;
constexpr int LOG_BYTES = 64 * 1024;
constexpr int PEAK_SECONDS = 20;
const QString PASSWORD = QStringLiteral("Bench_pass_42");

QString sibling(const char *name)
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../") + name;
}

// module-sim with its trace in a file; the first trace line is the pty path.
class Module
{
public:
    explicit Module(const QString &tracePath) : trace(tracePath)
    {
        process.setStandardOutputFile(tracePath);
        process.start(sibling("module-sim"), {"--baud", QString::number(BAUD), "--password",
                                              PASSWORD, "--log-size", QString::number(LOG_BYTES)});
    }
    ~Module()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
    QString waitForPath()
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000) {
            QFile file(trace);
            if (file.open(QIODevice::ReadOnly)) {
                const QByteArray first = file.readLine();
                if (first.endsWith('\n'))
                    return QString::fromLocal8Bit(first.trimmed());
            }
            QThread::msleep(20); // polled until module-sim has written its path
        }
        return QString();
    }

private:
    QProcess process;
    QString trace;
};

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray randomBytes(qint64 size, unsigned seed = 7)
{
    std::mt19937 random(seed);
    QByteArray bytes(int(size), '\0');
    for (char &byte : bytes)
        byte = char(random() & 0xFF);
    return bytes;
}

// `count` fresh modules and a station file over them with `recipe`; false
// when a module did not start.
bool makeStation(const QTemporaryDir &dir, int count, const QString &recipe,
                 std::vector<std::unique_ptr<Module>> *modules)
{
    QStringList slotLines;
    for (int i = 0; i < count; ++i) {
        modules->push_back(std::make_unique<Module>(dir.filePath(QStringLiteral("sim%1").arg(i))));
        const QString path = modules->back()->waitForPath();
        if (path.isEmpty())
            return false;
        slotLines << QStringLiteral(R"({"name": "S%1", "port": "%2"})").arg(i + 1).arg(path);
    }
    return writeFile(dir.filePath("station.json"),
                     QStringLiteral(R"({"station": "bench", "operator": "bench", "recipe": "%1",
                        "pool": "sqlite:pool.db", "passwordFile": "login.pw",
                        "newWifiPasswordFile": "wifi.pw", "slots": [%2]})")
                         .arg(recipe, slotLines.join(", "))
                         .toUtf8());
}

// kbmaint --station over `count` fresh modules; wall seconds, negative on failure.
double commandLine(const QTemporaryDir &dir, int count)
{
    std::vector<std::unique_ptr<Module>> modules;
    if (!makeStation(dir, count, "recipe.json", &modules))
        return -1;
    QProcess kbmaint;
    kbmaint.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer wall;
    wall.start();
    kbmaint.start(sibling("kbmaint"), {"--station", dir.filePath("station.json"), "provision"});
    if (!kbmaint.waitForFinished(900000) || kbmaint.exitCode() != 0) {
        std::printf("%s", kbmaint.readAllStandardOutput().constData());
        return -1;
    }
    return double(wall.nsecsElapsed()) / 1e9;
}

double threadCpuSeconds()
{
    rusage usage = {};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct PageRun {
    double seconds = -1;
    double guiCpu = 0; // GUI thread CPU seconds over the run
    int failed = 0;    // units that failed (their slot's messages are printed)
};

// The station page over `count` fresh modules, "全部开始" once; the run ends
// when every slot's unit ended, or after `limitSeconds`.
PageRun page(const QTemporaryDir &dir, int count, const QString &recipe, int limitSeconds)
{
    PageRun run;
    std::vector<std::unique_ptr<Module>> modules;
    if (!makeStation(dir, count, recipe, &modules))
        return run;
    StationPage station;
    station.resize(1280, 1024);
    station.show();
    QString problem;
    if (!station.openStation(dir.filePath("station.json"), &problem)) {
        std::printf("%s\n", qPrintable(problem));
        return run;
    }
    QEventLoop loop;
    QObject::connect(station.board(), &StationBoard::countsChanged, &loop, [&] {
        if (station.board()->passed() + station.board()->failed() == count)
            loop.quit();
    });
    QTimer::singleShot(limitSeconds * 1000, &loop, &QEventLoop::quit);
    const double cpu = threadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    station.startAll();
    loop.exec();
    run.guiCpu = threadCpuSeconds() - cpu;
    const int ended = station.board()->passed() + station.board()->failed();
    run.seconds = ended == count ? double(wall.nsecsElapsed()) / 1e9 : -1;
    run.failed = station.board()->failed();
    for (int i = 0; i < count && run.failed > 0; ++i)
        std::printf("%s: %s\n", qPrintable(station.board()->view(i).name),
                    qPrintable(station.board()->view(i).messages.join(" | ")));
    return run;
}

long peakKib()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// A large file written a MiB at a time, so the writing leaves no peak behind.
bool writeLargeFile(const QString &path, int mebibytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (int i = 0; i < mebibytes; ++i) {
        if (file.write(randomBytes(1 << 20, unsigned(i))) != 1 << 20)
            return false;
    }
    return true;
}

bool prepare(const QTemporaryDir &dir)
{
    if (!dir.isValid() || !QDir(dir.path()).mkdir("logs") ||
        !writeFile(dir.filePath("fw.bin"), randomBytes(1 << 20)) ||
        !writeLargeFile(dir.filePath("fw30.bin"), 30) ||
        !writeFile(dir.filePath("login.pw"), PASSWORD.toUtf8()) ||
        !writeFile(dir.filePath("wifi.pw"), "Bench_wifi_42") ||
        !writeFile(dir.filePath("recipe.json"),
                   R"({"firmware": "fw.bin", "macs": ["wifi", "fe"], "pullLog": "logs"})") ||
        !writeFile(dir.filePath("recipe30.json"), R"({"firmware": "fw30.bin"})"))
        return false;
    QProcess generate;
    generate.start(sibling("kbmaint"), {"pool", "generate", "90:7E:BA:00:00:00", "1000", "--pool",
                                        QStringLiteral("sqlite:") + dir.filePath("pool.db")});
    return generate.waitForFinished(60000) && generate.exitCode() == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!prepare(dir))
        return 1;
    // "page N" alone: the page with N slots.
    const int only = app.arguments().indexOf(QStringLiteral("page"));
    if (only > 0 && only + 1 < app.arguments().size()) {
        const int count = app.arguments().at(only + 1).toInt();
        const PageRun run = page(dir, count, "recipe.json", 600);
        std::printf("station page, %d slots: %.2f s (%d failed), GUI thread CPU %.3f s = %.2f %% "
                    "of a core\n",
                    count, run.seconds, run.failed, run.guiCpu, 100.0 * run.guiCpu / run.seconds);
        return run.seconds > 0 ? 0 : 1;
    }
    // "memory" alone: the peak of a fresh process, before any other run.
    if (app.arguments().contains(QStringLiteral("memory"))) {
        page(dir, 24, "recipe30.json", PEAK_SECONDS);
        std::printf("station page, 24 slots upgrading 30 MiB for %d s: peak memory %.1f MiB\n",
                    PEAK_SECONDS, peakKib() / 1024.0);
        return 0;
    }
    const double cliOne = commandLine(dir, 1);
    const double cliMany = commandLine(dir, 24);
    std::printf("kbmaint --station: 1 slot %.2f s, 24 slots %.2f s, parallel ratio %.4f\n", cliOne,
                cliMany, cliMany / cliOne);
    const PageRun pageOne = page(dir, 1, "recipe.json", 600);
    const PageRun pageMany = page(dir, 24, "recipe.json", 600);
    std::printf("station page: 1 slot %.2f s, 24 slots %.2f s (%d failed), parallel ratio %.4f\n",
                pageOne.seconds, pageMany.seconds, pageOne.failed + pageMany.failed,
                pageMany.seconds / pageOne.seconds);
    const PageRun eight = page(dir, 8, "recipe.json", 600);
    std::printf("station page, 8 slots: %.2f s, GUI thread CPU %.3f s = %.2f %% of a core\n",
                eight.seconds, eight.guiCpu, 100.0 * eight.guiCpu / eight.seconds);
    const bool ok = cliOne > 0 && cliMany > 0 && pageOne.seconds > 0 && pageMany.seconds > 0;
    return ok ? 0 : 1;
}
