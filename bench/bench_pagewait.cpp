// How the device page waits for the module: the GUI thread's CPU time while
// its line waits for a reply that never comes, and the delay from a reply's
// arrival to the line's next request. Run:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_pagewait
#include "protocol/frame.h"
#include "serial/portenumeration.h"
#include "support/pagedriver.h"
#include "support/testpty.h"
#include "ui/device/sigledebug.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace
{

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Answers every read request on the master side at once with a zero-filled
// reply of the right length, and records the time from each reply to the
// request that follows it.
class Responder
{
public:
    explicit Responder(int fd) : fd(fd), notifier(fd, QSocketNotifier::Read)
    {
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { onReadable(); });
        clock.start();
    }
    std::vector<double> gapsMs;

private:
    void onReadable()
    {
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return;
        pending.append(buffer, int(n));
        while (pending.size() >= 8) {
            const QByteArray request = pending.left(8);
            pending.remove(0, 8);
            // A version read opens the next refresh, after its 1000 ms pause.
            const bool opensRefresh = request.startsWith(QByteArray::fromHex("010300000002"));
            if (replied >= 0 && !opensRefresh)
                gapsMs.push_back(double(clock.nsecsElapsed() - replied) / 1e6);
            const int registers = (quint8(request.at(4)) << 8) | quint8(request.at(5));
            QByteArray reply = QByteArray::fromHex("0103");
            reply.append(char(registers * 2));
            reply.append(QByteArray(registers * 2, '\x01'));
            appendCrc(reply);
            if (::write(fd, reply.constData(), size_t(reply.size())) != reply.size())
                std::fprintf(stderr, "short write\n");
            replied = clock.nsecsElapsed();
        }
    }

    int fd;
    QSocketNotifier notifier;
    QElapsedTimer clock;
    QByteArray pending;
    qint64 replied = -1;
};

void measureIdleWait(SigleDebug &page, PageDriver &driver)
{
    // Nothing answers: every refresh waits 500 ms for the version reply, then
    // pauses 1000 ms.
    const double cpuBefore = threadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() < 5000)
        driver.refresh();
    const double cpu = threadCpuSeconds() - cpuBefore;
    const double seconds = double(wall.elapsed()) / 1000.0;
    std::printf("idle wait: %.2f s waited, GUI thread CPU %.1f ms = %.2f %% of one core\n", seconds,
                cpu * 1000.0, 100.0 * cpu / seconds);
    Q_UNUSED(page);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestPty silent;
    PortEnumeration::addExtraPort(silent.slavePath());
    {
        SigleDebug page;
        PageDriver driver(&page);
        driver.openPort(silent.slavePath());
        measureIdleWait(page, driver);
    }
    PageDriver::hideBoxes();

    TestPty answering;
    PortEnumeration::addExtraPort(answering.slavePath());
    SigleDebug page;
    PageDriver driver(&page);
    driver.openPort(answering.slavePath());
    Responder responder(answering.masterFd());
    for (int i = 0; i < 20; ++i)
        driver.refresh();
    std::vector<double> gaps = responder.gapsMs;
    std::sort(gaps.begin(), gaps.end());
    if (gaps.empty()) {
        std::printf("no reply gaps measured\n");
        return 1;
    }
    std::printf("reply to next request (upper bound of the wait's end): n=%zu median %.2f ms, "
                "p90 %.2f ms, max %.2f ms\n",
                gaps.size(), gaps[gaps.size() / 2], gaps[gaps.size() * 9 / 10], gaps.back());
    return 0;
}
