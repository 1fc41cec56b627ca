// The file transfers on the real device page against module-sim: a 1 MiB
// upgrade and a 256 KiB log pull with the line paced at 230400 baud in both
// directions, each against its line-rate bound, the GUI thread's CPU share
// during each, and the growth
// of peak resident memory during a 30 MiB upgrade at full speed. The module
// runs as its own process, so its copy of the image is not counted. Run:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_transfer
#include "serial/portenumeration.h"
#include "support/pagedriver.h"
#include "ui/device/filechoice.h"
#include "ui/device/sigledebug.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThread>

#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <random>

namespace
{

constexpr int BAUD = 230400;
const QString PASSWORD = QStringLiteral("Secret_789x");

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// A "VmRSS"/"VmHWM" figure of this process in KiB.
qint64 statusKib(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field)) + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Starts the peak over from the current resident size (Linux 4.0 and later).
bool resetPeakResident()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

// module-sim with its trace in a file; the first trace line is the pty path.
class Module
{
public:
    Module(const QStringList &arguments, const QString &tracePath) : trace(tracePath)
    {
        process.setStandardOutputFile(tracePath);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../module-sim"),
                      arguments + QStringList{"--password", PASSWORD});
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
            QThread::msleep(20);
        }
        return QString();
    }
    // Trace lines of units the tool sent, from line `from` on, that start with `prefix`.
    int countTrace(const QByteArray &prefix, int from) const
    {
        QFile file(trace);
        if (!file.open(QIODevice::ReadOnly))
            return -1;
        const QList<QByteArray> lines = file.readAll().split('\n');
        int count = 0;
        for (int i = from; i < lines.size(); ++i)
            count += lines.at(i).startsWith(prefix) ? 1 : 0;
        return count;
    }
    int traceLines() const
    {
        QFile file(trace);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
    }

private:
    QProcess process;
    QString trace;
};

// Calls `enabled` each time `watched` becomes enabled.
class EnabledWatch : public QObject
{
public:
    EnabledWatch(QWidget *watched, std::function<void()> enabled)
        : watched(watched), enabled(std::move(enabled))
    {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (object == watched && event->type() == QEvent::EnabledChange && watched->isEnabled())
            enabled();
        return false;
    }

private:
    QWidget *watched;
    std::function<void()> enabled;
};

struct Session {
    std::unique_ptr<Module> module;
    std::unique_ptr<SigleDebug> page;
    std::unique_ptr<PageDriver> driver;
};

bool openSession(Session *session, const QStringList &arguments, const QString &tracePath)
{
    session->module = std::make_unique<Module>(arguments, tracePath);
    const QString path = session->module->waitForPath();
    if (path.isEmpty())
        return false;
    PortEnumeration::addExtraPort(path);
    session->page = std::make_unique<SigleDebug>();
    session->driver = std::make_unique<PageDriver>(session->page.get());
    session->page->show();
    if (!session->driver->openPort(path))
        return false;
    session->driver->login(QStringLiteral("admin"), PASSWORD);
    if (!session->driver->inDeviceView())
        return false;
    session->page->showOperateFile();
    return true;
}

QString logText(const Session &session)
{
    return session.driver->widget<QTextEdit>("textEdit")->toPlainText();
}

bool writeImage(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::mt19937 random(7);
    QByteArray piece(1 << 16, '\0');
    for (qint64 done = 0; done < size; done += piece.size()) {
        for (char &byte : piece)
            byte = char(random() & 0xFF);
        file.write(piece.left(int(qMin<qint64>(piece.size(), size - done))));
    }
    return true;
}

// Presses `name` and returns once the transfer it starts has ended (the
// button unchecked); the transfer runs on the page's line meanwhile.
void runTransfer(const Session &session, const char *name)
{
    QPushButton *button = session.driver->button(name);
    QEventLoop ended;
    QObject::connect(button, &QPushButton::toggled, &ended, [&ended](bool on) {
        if (!on)
            ended.quit();
    });
    button->click();
    if (button->isChecked())
        ended.exec();
}

bool upgrade(Session &session, const QString &image)
{
    FileChoice::setOverride([image](FileChoice::Kind) { return image; });
    session.driver->button("pushButton_scan")->click();
    runTransfer(session, "pushButton_start");
    return logText(session).contains(QStringLiteral("升级成功！"));
}

int pacedUpgrade(const QTemporaryDir &dir)
{
    constexpr qint64 SIZE = 1 << 20;
    const QString image = dir.filePath(QStringLiteral("fw_1MiB.bin"));
    Session session;
    if (!writeImage(image, SIZE) ||
        !openSession(&session, {"--baud", QString::number(BAUD)}, dir.filePath("paced.trace"))) {
        std::printf("upgrade: module-sim session failed\n");
        return 1;
    }
    const double cpuBefore = threadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const bool ok = upgrade(session, image);
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = threadCpuSeconds() - cpuBefore;
    if (!ok) {
        std::printf("upgrade failed: %s\n", qPrintable(logText(session)));
        return 1;
    }
    const qint64 blocks = SIZE / 1024;
    const qint64 lineBytes = blocks * 1029 + (75 + 64) + blocks; // blocks, start request, ACKs
    const double bound = double(lineBytes) * 10.0 / BAUD;
    std::printf("upgrade 1 MiB at %d baud: %.2f s, line-rate bound %.2f s (%lld bytes)\n", BAUD,
                seconds, bound, lineBytes);
    std::printf("upgrade line-rate ratio = bound/time = %.4f  (bar 0.95, goal 0.98)\n",
                bound / seconds);
    std::printf("GUI thread CPU during the upgrade: %.2f s = %.2f %% of one core  (goal < 5 %%)\n",
                cpu, 100.0 * cpu / seconds);
    return 0;
}

int pacedLog(const QTemporaryDir &dir)
{
    Session session;
    if (!openSession(&session, {"--baud", QString::number(BAUD), "--log-size", "262144"},
                     dir.filePath("log.trace"))) {
        std::printf("log: module-sim session failed\n");
        return 1;
    }
    const QString target = dir.filePath(QStringLiteral("logs"));
    QDir().mkpath(target);
    FileChoice::setOverride([target](FileChoice::Kind) { return target; });
    session.driver->button("pushButton_directory")->click();
    const int from = session.module->traceLines();
    QElapsedTimer wall;
    qint64 loopStartNs = -1; // the request's answer enables the button again ("取消")
    EnabledWatch requestAnswered(session.driver->button("pushButton_getLog"),
                                 [&] { loopStartNs = wall.nsecsElapsed(); });
    const double cpuBefore = threadCpuSeconds();
    wall.start();
    runTransfer(session, "pushButton_getLog");
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = threadCpuSeconds() - cpuBefore;
    const double loopSeconds = double(wall.nsecsElapsed() - loopStartNs) / 1e9;
    if (!logText(session).contains(QStringLiteral("设备文件传输完成！")) ||
        logText(session).contains(QStringLiteral("文件哈希值校验错误！"))) {
        std::printf("log pull failed: %s\n", qPrintable(logText(session)));
        return 1;
    }
    QThread::msleep(200); // the trace of the last signals
    // One signal per pass (ACK or NAK); the ACK of the EOT stands for the
    // last pass, which ends without a signal.
    const int passes =
        session.module->countTrace("<- 06", from) + session.module->countTrace("<- 15", from);
    std::printf("log 256 KiB at %d baud: %.2f s in all, %.2f s in the receive loop, %d passes\n",
                BAUD, seconds, loopSeconds, passes);
    // The line's own time: the request and its reply (75 + 64 bytes), then
    // per block 1029 bytes one way and its ACK the other, "C" and the EOT.
    constexpr qint64 LOG_BLOCKS = 262144 / 1024;
    const qint64 loopBytes = LOG_BLOCKS * (1029 + 1) + 2;
    const double loopBound = double(loopBytes) * 10.0 / BAUD;
    const double bound = double(loopBytes + 7 + 139) * 10.0 / BAUD;
    std::printf("log line-rate ratio = bound/time = %.4f  (bar 0.90, goal 0.97); receive loop "
                "alone %.4f (the request waits its full 500 ms)\n",
                bound / seconds, loopBound / loopSeconds);
    std::printf("GUI thread CPU during the log pull: %.2f s = %.2f %% of one core  (goal < 5 %%)\n",
                cpu, 100.0 * cpu / seconds);
    return 0;
}

int fullSpeedMemory(const QTemporaryDir &dir)
{
    constexpr qint64 SIZE = 31457280;
    const QString image = dir.filePath(QStringLiteral("fw_30MiB.bin"));
    Session session;
    if (!writeImage(image, SIZE) || !openSession(&session, {}, dir.filePath("full.trace"))) {
        std::printf("memory: module-sim session failed\n");
        return 1;
    }
    if (!resetPeakResident()) {
        std::printf("memory: cannot reset the peak resident size\n");
        return 1;
    }
    const qint64 idleKib = statusKib("VmRSS:");
    QElapsedTimer wall;
    wall.start();
    const bool ok = upgrade(session, image);
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const qint64 peakKib = statusKib("VmHWM:");
    if (!ok) {
        std::printf("30 MiB upgrade failed: %s\n", qPrintable(logText(session)));
        return 1;
    }
    const double growth = double(peakKib - idleKib) * 1024.0;
    std::printf("30 MiB upgrade at full speed: %.2f s; resident idle %lld KiB, peak %lld KiB\n",
                seconds, idleKib, peakKib);
    std::printf("peak resident growth = %.1f MiB = %.2f x the image  (goal <= 2.2)\n",
                growth / 1048576.0, growth / double(SIZE));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    int status = pacedUpgrade(dir);
    status |= pacedLog(dir);
    status |= fullSpeedMemory(dir);
    PageDriver::hideBoxes();
    return status;
}
