#include "simulator/ptylink.h"

#include "simulator/lineshaper.h"
#include "simulator/modulemodel.h"

#include <QSocketNotifier>
#include <QTimer>
#include <QtDebug>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace
{

constexpr int READ_CHUNK = 4096;
constexpr int MAX_WRITE_QUEUE = 8 * 1024 * 1024; // a tool that stopped reading
constexpr int RETRY_AFTER_HANGUP_MS = 100;

bool makeRaw(int fd)
{
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return false;
    cfmakeraw(&settings);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

} // namespace

PtyLink::PtyLink(ModuleModel *model, QObject *parent)
    : QObject(parent), module(model), inbound(new LineShaper(&clock, this)),
      outbound(new LineShaper(&clock, this)), silenceTimer(new QTimer(this))
{
    clock.start();
    silenceTimer->setSingleShot(true);
    silenceTimer->setTimerType(Qt::PreciseTimer);
    connect(silenceTimer, &QTimer::timeout, this, &PtyLink::checkSilence);
    connect(inbound, &LineShaper::delivered, this, &PtyLink::deliverToModel);
    connect(outbound, &LineShaper::delivered, this,
            [this](const QByteArray &bytes, qint64) { queueForTool(bytes); });
    connect(module, &ModuleModel::output, this,
            [this](const QByteArray &bytes) { outbound->send(bytes, feedingDueNs); });
    openPty();
}

PtyLink::~PtyLink()
{
    delete readNotifier;
    delete writeNotifier;
    if (master >= 0)
        ::close(master);
    if (slave >= 0)
        ::close(slave);
}

// The slave descriptor stays open for the link's life: without it the master
// reads EIO (a hang-up) whenever the tool closes its port.
void PtyLink::openPty()
{
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        error = QString::fromLocal8Bit(strerror(errno));
        master = slave = -1;
        return;
    }
    char name[128] = {};
    if (ptsname_r(master, name, sizeof name) != 0 || !makeRaw(master) || !makeRaw(slave) ||
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
        error = QString::fromLocal8Bit(strerror(errno));
        ::close(master);
        ::close(slave);
        master = slave = -1;
        return;
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    path = QString::fromLocal8Bit(name);
    readNotifier = new QSocketNotifier(master, QSocketNotifier::Read);
    connect(readNotifier, &QSocketNotifier::activated, this, &PtyLink::readMaster);
    writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &PtyLink::flushWrites);
}

void PtyLink::setLineRate(int baud)
{
    inbound->setLineRate(baud);
    outbound->setLineRate(baud);
}

void PtyLink::setReplyChunking(int size, int gapMs)
{
    outbound->setChunking(size, gapMs);
}

void PtyLink::setReplyDelayMs(int ms)
{
    outbound->setDelayMs(ms);
}

qint64 PtyLink::wireBytes() const
{
    return inbound->bytesSent() + outbound->bytesSent();
}

void PtyLink::readMaster()
{
    char buffer[READ_CHUNK];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) {
            const QByteArray bytes(buffer, int(n));
            emit toolBytesArrived(bytes);
            inbound->send(bytes);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            // EIO: no slave open right now. Look again later instead of
            // letting the notifier fire without pause.
            readNotifier->setEnabled(false);
            QTimer::singleShot(RETRY_AFTER_HANGUP_MS, this, &PtyLink::resumeReading);
        }
        return;
    }
}

void PtyLink::resumeReading()
{
    if (readNotifier)
        readNotifier->setEnabled(true);
}

// Replies the model makes while taking these bytes start on the line no
// earlier than the bytes' own line time.
void PtyLink::deliverToModel(const QByteArray &bytes, qint64 dueNs)
{
    feedingDueNs = dueNs;
    module->feed(bytes);
    feedingDueNs = -1;
    watchForSilence();
}

// The model keeps no timer of its own: while it holds a partial frame, the
// link tells it when the line has been quiet long enough.
void PtyLink::watchForSilence()
{
    if (!module->awaitingSilence()) {
        silenceTimer->stop();
        return;
    }
    silenceTimer->start(int(qMax<qint64>(1, module->silenceDueMs() - module->nowMs())));
}

// Bytes already in the pty, or still on their way through the line shaper,
// end no silence: a loaded machine wakes this timer late, often after the
// rest of a frame has come.
void PtyLink::checkSilence()
{
    if (readNotifier && readNotifier->isEnabled())
        readMaster();
    if (inbound->idle() && module->awaitingSilence() && module->nowMs() >= module->silenceDueMs())
        module->silenceElapsed();
    watchForSilence();
}

void PtyLink::queueForTool(const QByteArray &bytes)
{
    if (master < 0)
        return;
    if (writeQueue.size() + bytes.size() > MAX_WRITE_QUEUE) {
        qWarning("module-sim: the tool is not reading; %d reply bytes dropped", bytes.size());
        return;
    }
    writeQueue.append(bytes);
    flushWrites();
}

void PtyLink::flushWrites()
{
    while (!writeQueue.isEmpty()) {
        const ssize_t n = ::write(master, writeQueue.constData(), size_t(writeQueue.size()));
        if (n > 0) {
            writeQueue.remove(0, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: the pty buffer is full; the write notifier says when there is room
    }
    writeNotifier->setEnabled(!writeQueue.isEmpty());
}
