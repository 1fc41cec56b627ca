#include "session/blockingseriallink.h"

#include <QDeadlineTimer>

BlockingSerialLink::~BlockingSerialLink()
{
    close();
}

bool BlockingSerialLink::open(const QString &portName, QString *problem)
{
    port.setPortName(portName);
    if (!port.open(QIODevice::ReadWrite)) {
        *problem = tr("无法打开串口%1：%2").arg(portName, port.errorString());
        return false;
    }
    const bool set = port.setBaudRate(BAUD_RATE) && port.setDataBits(QSerialPort::Data8) &&
                     port.setParity(QSerialPort::NoParity) &&
                     port.setStopBits(QSerialPort::OneStop) &&
                     port.setFlowControl(QSerialPort::NoFlowControl);
    if (!set) {
        *problem = tr("无法设置串口%1：%2").arg(portName, port.errorString());
        port.close();
        return false;
    }
    port.clear();
    return true;
}

void BlockingSerialLink::close()
{
    if (!port.isOpen())
        return;
    if (port.bytesToWrite() > 0)
        port.waitForBytesWritten(WRITE_LIMIT_MS);
    port.close();
}

bool BlockingSerialLink::write(const QByteArray &bytes)
{
    if (!port.isOpen() || port.write(bytes) != bytes.size())
        return false;
    const QDeadlineTimer deadline(WRITE_LIMIT_MS);
    while (port.bytesToWrite() > 0) {
        if (deadline.hasExpired() || !port.waitForBytesWritten(int(deadline.remainingTime())))
            return false;
    }
    // A reply that came while writing stays as the port read it.
    collect();
    return true;
}

WaitEnd BlockingSerialLink::waitFor(const LinkWait &wait)
{
    const QDeadlineTimer deadline(qMax(wait.limitMs, 0));
    for (;;) {
        collect();
        if (holds(wait))
            return WaitEnd::Enough;
        if (wait.cancel && wait.cancel->isSet())
            return WaitEnd::Cancelled;
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || !port.isOpen())
            return WaitEnd::TimedOut;
        if (!port.waitForReadyRead(int(qMin<qint64>(left, SLICE_MS))))
            port.clearError(); // a slice without data reports a time-out error
    }
}

ReadPieces BlockingSerialLink::take()
{
    collect();
    ReadPieces taken;
    taken.swap(pieces);
    received = 0;
    return taken;
}

void BlockingSerialLink::collect()
{
    if (!port.isOpen() || port.bytesAvailable() <= 0)
        return;
    const QByteArray piece = port.readAll();
    if (piece.isEmpty())
        return;
    pieces.append(piece);
    received += piece.size();
}

bool BlockingSerialLink::holds(const LinkWait &wait) const
{
    return received > wait.moreThan || (wait.until && wait.until(pieces));
}
