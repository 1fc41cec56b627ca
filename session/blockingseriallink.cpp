#include "session/blockingseriallink.h"

#include <QDeadlineTimer>

#include <poll.h>

// A resource error, whenever the port reports it (a read or a write on a
// device that has gone), loses the line.
BlockingSerialLink::BlockingSerialLink()
{
    QObject::connect(&port, &QSerialPort::errorOccurred,
                     [this](QSerialPort::SerialPortError error) {
                         if (error == QSerialPort::ResourceError)
                             lost = true;
                     });
}

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
    pieces.clear(); // nothing of an earlier opening is read as a reply
    received = 0;
    lost = false;
    return true;
}

void BlockingSerialLink::close()
{
    if (!port.isOpen())
        return;
    if (!lost && port.bytesToWrite() > 0)
        port.waitForBytesWritten(WRITE_LIMIT_MS);
    port.close();
}

bool BlockingSerialLink::write(const QByteArray &bytes)
{
    if (!port.isOpen() || lost)
        return false;
    if (port.write(bytes) != bytes.size()) {
        checkLine();
        return false;
    }
    const QDeadlineTimer deadline(WRITE_LIMIT_MS);
    while (port.bytesToWrite() > 0) {
        if (deadline.hasExpired() || !port.waitForBytesWritten(int(deadline.remainingTime()))) {
            checkLine();
            return false;
        }
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
        if (lost)
            return WaitEnd::LinkLost;
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || !port.isOpen())
            return WaitEnd::TimedOut;
        if (!port.waitForReadyRead(int(qMin<qint64>(left, SLICE_MS))))
            checkLine();
    }
}

// A slice without data reports a time-out error, the normal case. A
// resource error, or a descriptor that reports a hang-up (the read after it
// fails at once, so the slices would spin), means the line has gone.
void BlockingSerialLink::checkLine()
{
    const QSerialPort::SerialPortError error = port.error();
    port.clearError();
    if (error == QSerialPort::ResourceError || (error != QSerialPort::TimeoutError && hungUp()))
        lost = true;
}

bool BlockingSerialLink::hungUp() const
{
    pollfd line{int(port.handle()), 0, 0}; // hang-up and errors are reported unasked
    return ::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
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
