#pragma once

// The command line's link to one module: a QSerialPort opened in the port's
// own thread at 230400 8N1 without flow control, used blocking. A wait
// sleeps in waitForReadyRead() on the port, in slices short enough to see a
// cancel quickly; it never spins. Each read the port delivers is kept as one
// piece, as the session engine needs them. A port that reports a resource
// error or a hang-up (an unplugged adapter, a closed pty) is lost for good:
// waits end with LinkLost and writes fail, at once.

#include "protocol/frame.h"
#include "session/sessionlink.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <QString>

class BlockingSerialLink : public SessionLink
{
    Q_DECLARE_TR_FUNCTIONS(BlockingSerialLink)

public:
    static constexpr qint32 BAUD_RATE = ModuleLine::BAUD_RATE;
    // The longest sleep of a wait before the cancel flag is looked at again.
    static constexpr int SLICE_MS = 20;
    // A write must have left for the line within this long.
    static constexpr int WRITE_LIMIT_MS = 2000;

    BlockingSerialLink();
    ~BlockingSerialLink() override;

    // Opens `portName` (such as /dev/ttyUSB0) and sets the line. False with
    // the reason in *problem.
    bool open(const QString &portName, QString *problem);
    void close();
    bool isOpen() const { return port.isOpen(); }
    bool isLost() const { return lost; }

    bool write(const QByteArray &bytes) override;
    WaitEnd waitFor(const LinkWait &wait) override;
    ReadPieces take() override;

private:
    // Moves what the port has read into a new piece.
    void collect();
    bool holds(const LinkWait &wait) const;
    // After a slice or write that failed: notes whether the line has gone.
    void checkLine();
    bool hungUp() const;

    QSerialPort port;
    bool lost = false;
    ReadPieces pieces;
    int received = 0;
};
