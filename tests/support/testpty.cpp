#include "support/testpty.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace
{

void makeRaw(int fd)
{
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return;
    cfmakeraw(&settings);
    tcsetattr(fd, TCSANOW, &settings);
}

// Sleeps in the event loop until fd is ready for type or timeoutMs pass.
void waitForFd(int fd, QSocketNotifier::Type type, int timeoutMs)
{
    if (timeoutMs <= 0)
        return;
    QEventLoop loop;
    QSocketNotifier notifier(fd, type);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    loop.exec();
}

int remainingMs(const QElapsedTimer &clock, int timeoutMs)
{
    return int(qMax<qint64>(0, timeoutMs - clock.elapsed()));
}

} // namespace

TestPty::TestPty()
{
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        master = slave = -1;
        return;
    }
    makeRaw(master);
    makeRaw(slave);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    char name[128] = {};
    if (ptsname_r(master, name, sizeof name) == 0)
        path = QString::fromLocal8Bit(name);
}

TestPty::~TestPty()
{
    if (master >= 0)
        ::close(master);
    if (slave >= 0)
        ::close(slave);
}

bool TestPty::writeToSlaveSide(const QByteArray &bytes, int timeoutMs)
{
    if (!isValid())
        return false;
    QElapsedTimer clock;
    clock.start();
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        const int left = remainingMs(clock, timeoutMs);
        if (left == 0)
            return false;
        waitForFd(master, QSocketNotifier::Write, left);
    }
    return true;
}

QByteArray TestPty::readFromMaster(int timeoutMs, int wantBytes)
{
    QByteArray collected;
    if (!isValid())
        return collected;
    QElapsedTimer clock;
    clock.start();
    char chunk[4096];
    for (;;) {
        ssize_t n;
        while ((n = ::read(master, chunk, sizeof chunk)) > 0)
            collected.append(chunk, int(n));
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return collected; // EIO: no slave left
        const int left = remainingMs(clock, timeoutMs);
        if (collected.size() >= qMax(1, wantBytes) || left == 0)
            return collected;
        waitForFd(master, QSocketNotifier::Read, left);
    }
}

void TestPty::discardPending()
{
    if (!isValid())
        return;
    char chunk[4096];
    while (::read(master, chunk, sizeof chunk) > 0) {
    }
}

void TestPty::hangUp()
{
    if (master >= 0)
        ::close(master);
    master = -1;
}

int TestPty::openCount(const QString &path)
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    int count = 0;
    for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        count += fd.symLinkTarget() == path ? 1 : 0;
    return count;
}
