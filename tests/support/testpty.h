#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair for tests: open the slave path with QSerialPort (or
// HandleSerialPort) and play the far end on the master. Both sides are in raw
// mode, the master is non-blocking. The slave descriptor stays open for the
// object's life, so closing and reopening the port under test never hangs up
// the master. Waits run the Qt event loop (a QCoreApplication must exist), so
// a QSerialPort in the same thread flushes its buffered writes meanwhile.
class TestPty
{
public:
    TestPty();
    ~TestPty();
    TestPty(const TestPty &) = delete;
    TestPty &operator=(const TestPty &) = delete;

    // False when no pty could be opened; the other calls then do nothing.
    bool isValid() const { return master >= 0; }
    int masterFd() const { return master; }
    // Such as "/dev/pts/3".
    QString slavePath() const { return path; }

    // Writes all of bytes on the master, so a reader of the slave receives
    // them. Waits at most timeoutMs for room; false when not all went out.
    bool writeToSlaveSide(const QByteArray &bytes, int timeoutMs = 1000);

    // Collects what the slave side wrote: returns as soon as at least
    // wantBytes have arrived (with everything readable at that moment), or
    // when timeoutMs have passed, with whatever arrived until then.
    QByteArray readFromMaster(int timeoutMs, int wantBytes = 1);

    // Drops whatever is waiting on the master.
    void discardPending();

    // Closes the master, so the slave side hangs up (as an unplugged adapter).
    void hangUp();

    // How many descriptors of this process have `path` open, this pair's own
    // slave descriptor included.
    static int openCount(const QString &path);

private:
    int master = -1;
    int slave = -1;
    QString path;
};
