// Device page: the waits of the firmware upgrade and the log upload. They
// sleep in a nested event loop, so received bytes, clicks and port-list
// changes are handled meanwhile, and wake on the first bytes, on the
// running transfer's button being unchecked, or at the time limit.
#include "protocol/sigledebug.h"

#include "serial/handleserialport.h"
#include "transfer/transferframes.h"
#include "transfer/upgradejudge.h"

#include <QAbstractButton>
#include <QEventLoop>
#include <QTimer>

QByteArray SigleDebug::takeFirstBytes(int limitMs, QAbstractButton *running, bool *cancelled)
{
    if (cancelled)
        *cancelled = false;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (running && !running->isChecked()) {
            if (cancelled)
                *cancelled = true;
            return QByteArray();
        }
        if (!rxBuffer.isEmpty()) {
            const QByteArray taken = rxBuffer;
            rxBuffer.clear();
            return taken;
        }
        const qint64 left = limitMs - clock.elapsed();
        if (left <= 0)
            return QByteArray();
        sleepUntilWoken(int(left), running);
    }
}

// One sleep: ReadBytes ends it when bytes arrive (the same hook as the
// session exchanges use), a toggle of `running` ends it, the timer ends it.
void SigleDebug::sleepUntilWoken(int limitMs, QAbstractButton *running)
{
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (running)
        connect(running, &QAbstractButton::toggled, &loop, &QEventLoop::quit);
    deadline.start(limitMs);

    QEventLoop *const outerWait = replyWait;
    const int outerThreshold = waitThreshold;
    replyWait = &loop;
    waitThreshold = 0;
    loop.exec();
    replyWait = outerWait;
    waitThreshold = outerThreshold;
    if (replyWait && rxBuffer.size() > waitThreshold)
        replyWait->quit();
}

void SigleDebug::writeSignal(char signal)
{
    rxBuffer.clear();
    serialPort->writeBytes(QByteArray(1, signal));
}

bool SigleDebug::sendStop(int limitMs, const QString &timeoutText)
{
    writeSignal(Transfer::CAN);
    const QByteArray reply = takeFirstBytes(limitMs, nullptr, nullptr);
    switch (judgeStopReply(reply)) {
    case StopReply::Acknowledged:
        return true;
    case StopReply::TimedOut:
        appendLog(timeoutText);
        return false;
    case StopReply::ErrorReply:
        handleErrorReply(errorCodeOf(reply), true);
        return false;
    case StopReply::Other:
        return false;
    }
    return false;
}
