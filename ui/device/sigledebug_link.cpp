#include "ui/device/sigledebug_link.h"

#include "serial/handleserialport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

void SigleDebugLink::received(const QByteArray &piece)
{
    rxBuffer.append(piece);
    wake();
}

void SigleDebugLink::wake()
{
    if (sleeping)
        sleeping->quit();
}

bool SigleDebugLink::write(const QByteArray &bytes)
{
    return port->writeBytes(bytes) > 0;
}

WaitEnd SigleDebugLink::waitFor(const LinkWait &wait)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (wait.cancel && wait.cancel->isSet())
            return WaitEnd::Cancelled;
        if (pieceBytes(rxBuffer) > wait.moreThan || (wait.until && wait.until(rxBuffer)))
            return WaitEnd::Enough;
        const qint64 left = wait.limitMs - clock.elapsed();
        if (left <= 0)
            return WaitEnd::TimedOut;
        sleep(int(left));
    }
}

ReadPieces SigleDebugLink::take()
{
    ReadPieces taken;
    taken.swap(rxBuffer);
    return taken;
}

// One sleep in a nested event loop, ended by a piece, a wake or the limit.
// A wait that ran nested inside it (a click handled meanwhile) may have
// taken or added pieces, so the outer wait is woken to look again.
void SigleDebugLink::sleep(int limitMs)
{
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(limitMs);
    QEventLoop *const outer = sleeping;
    sleeping = &loop;
    loop.exec();
    sleeping = outer;
    wake();
}
