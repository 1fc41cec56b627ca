// kbmaint provisioning against module-sim processes paced at 230400 baud:
// a 1 MiB firmware and a 64 KiB log per unit, on one port and on four.
// Prints the parallel ratio time(4 ports)/time(1 port) and, for one port,
// the provision line-rate ratio bound/time. Not run by CI.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace
{

constexpr int BAUD = 230400;
constexpr qint64 FIRMWARE_BYTES = 1 << 20;
constexpr int LOG_BYTES = 64 * 1024;
const QString PASSWORD = QStringLiteral("Bench_pass_42");

QString sibling(const char *name)
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../") + name;
}

// module-sim with its trace in a file; the first trace line is the pty path.
class Module
{
public:
    Module(const QString &tracePath) : trace(tracePath)
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

QByteArray randomBytes(qint64 size)
{
    std::mt19937 random(7);
    QByteArray bytes(int(size), '\0');
    for (char &byte : bytes)
        byte = char(random() & 0xFF);
    return bytes;
}

// One kbmaint run over `ports` fresh modules; its wall time in seconds, or
// a negative value when it failed.
double provision(const QTemporaryDir &dir, int ports)
{
    std::vector<std::unique_ptr<Module>> modules;
    QStringList arguments{"--password-file", dir.filePath("login.pw")};
    for (int i = 0; i < ports; ++i) {
        modules.push_back(
            std::make_unique<Module>(dir.filePath(QStringLiteral("sim%1.trace").arg(i))));
        const QString path = modules.back()->waitForPath();
        if (path.isEmpty())
            return -1;
        arguments << "--port" << path;
    }
    const QString pool = QStringLiteral("sqlite:") + dir.filePath("pool.db");
    arguments << "provision" << dir.filePath("recipe.json") << "--pool" << pool;
    QProcess kbmaint;
    kbmaint.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer wall;
    wall.start();
    kbmaint.start(sibling("kbmaint"), arguments);
    if (!kbmaint.waitForFinished(600000) || kbmaint.exitCode() != 0) {
        std::printf("%s", kbmaint.readAllStandardOutput().constData());
        return -1;
    }
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    std::printf("%s", kbmaint.readAllStandardOutput().constData());
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir(dir.path()).mkdir("logs") ||
        !writeFile(dir.filePath("fw.bin"), randomBytes(FIRMWARE_BYTES)) ||
        !writeFile(dir.filePath("login.pw"), PASSWORD.toUtf8()) ||
        !writeFile(dir.filePath("wifi.pw"), "Bench_wifi_42") ||
        !writeFile(dir.filePath("recipe.json"),
                   R"({"firmware": "fw.bin", "ssid": "bench", "wifiPasswordFile": "wifi.pw",
                       "macs": ["wifi", "fe"], "operator": "bench", "pullLog": "logs"})"))
        return 1;
    QProcess generate;
    generate.start(sibling("kbmaint"), {"pool", "generate", "90:7E:BA:00:00:00", "100", "--pool",
                                        QStringLiteral("sqlite:") + dir.filePath("pool.db")});
    if (!generate.waitForFinished(60000) || generate.exitCode() != 0)
        return 1;

    const double one = provision(dir, 1);
    const double four = provision(dir, 4);
    if (one <= 0 || four <= 0) {
        std::printf("provisioning failed\n");
        return 1;
    }
    // Stop-and-wait at the line rate: every block and its ACK, both
    // requests and their replies; the short exchanges are left out.
    const qint64 firmwareBlocks = FIRMWARE_BYTES / 1024;
    const qint64 logBlocks = (LOG_BYTES + 1023) / 1024;
    const qint64 lineBytes = firmwareBlocks * 1030 + (75 + 64) + logBlocks * 1030 + (75 + 64);
    const double bound = double(lineBytes) * 10.0 / BAUD;
    std::printf("provision 1 MiB firmware + 64 KiB log at %d baud: 1 port %.2f s, 4 ports %.2f s, "
                "line-rate bound %.2f s\n",
                BAUD, one, four, bound);
    std::printf("parallel ratio = time(4 ports)/time(1 port) = %.4f  (bar 1.25, goal 1.10)\n",
                four / one);
    std::printf("provision line-rate ratio = bound/time = %.4f  (goal 0.95)\n", bound / one);
    return 0;
}
