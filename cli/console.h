#pragma once

// Everything kbmaint says: with --json every stdout line is one JSON object
// (begin, progress, step and result events); without it one summary line
// per port on stdout, and progress bars on stderr while stderr is a
// terminal. Port threads call in at once: each line leaves in one write()
// under a lock, so lines of different ports never mix within a line.

#include "provision/unitsink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>

// At most one progress report per INTERVAL_MS (4 a second) for one port.
class ProgressThrottle
{
public:
    static constexpr qint64 INTERVAL_MS = 250;
    // True when a report may go out at nowMs; then counts it.
    bool admit(qint64 nowMs);

private:
    qint64 lastMs = 0;
    bool any = false;
};

class Console : public UnitSink
{
    Q_DECLARE_TR_FUNCTIONS(Console)

public:
    struct Streams {
        int out = 1;
        int err = 2;
        bool bars = false; // draw progress bars on err (a terminal)
    };
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    Console(bool json, const Streams &streams, Clock clock = Clock());

    bool json() const { return jsonMode; }

    // The unit job's events, for the lines below.
    void unitBegan(const QString &port, const QString &command) override { begin(port, command); }
    void stepDone(const QString &port, const QString &step) override
    {
        this->step(port, step, true);
    }
    void transferMoved(const QString &port, TransferPhase phase, qint64 done, qint64 total,
                       double bytesPerSecond) override
    {
        progress(port, transferPhaseKey(phase), done, total, bytesPerSecond);
    }
    void unitEnded(const PortOutcome &outcome, const QJsonObject &) override { result(outcome); }

    // A port's command starts.
    void begin(const QString &port, const QString &command);
    // One step of a provision or of the forced changes ended.
    void step(const QString &port, const QString &name, bool ok);
    // A transfer on `port` moved on; dropped when the port reported less
    // than ProgressThrottle::INTERVAL_MS ago.
    void progress(const QString &port, const QString &phase, qint64 done, qint64 total,
                  double bytesPerSecond);
    // The port's verdict: a result line, or the summary line.
    void result(const PortOutcome &outcome);
    // A result that belongs to no port (ports, pool): fields go into the
    // result line, or `text` is the human output.
    void plainResult(const QJsonObject &fields, const QString &text);
    // A failure that belongs to no port: its result line ("ok": false, the
    // failure's key, `text` as the message), and `text` on stderr.
    void failure(Failure failure, const QString &text);
    // One JSON object as a stdout line, as it is (a listing's row).
    void jsonLine(const QJsonObject &line) { writeJson(line); }
    // Text for stdout as it is (a table, CSV).
    void print(const QString &text) { writeText(streams.out, text); }
    // A message for a person: stderr in both modes.
    void warn(const QString &text);
    // From now on the lines of `port` carry "slot": `slot` beside "port",
    // and its summary line starts with the slot's name.
    void nameSlot(const QString &port, const QString &slot);
    // A station slot moved to `phase` ("waiting-port", "refused", ...): a
    // "slot" line, or a message for a person when `detail` explains a fault.
    void slotPhase(const QString &slot, const QString &phase, const QString &detail);

    // The human summary of one outcome, without a line end.
    static QString summaryLine(const PortOutcome &outcome);

private:
    void writeJson(QJsonObject line);
    void writeText(int fd, const QString &text);
    void writeBytes(int fd, const QByteArray &bytes);
    void drawBars();

    bool jsonMode;
    Streams streams;
    Clock clock;
    QElapsedTimer started;
    std::mutex lock;
    QHash<QString, ProgressThrottle> throttles;
    QHash<QString, QString> slotOfPort;
    QStringList barOrder;
    QHash<QString, QString> bars;
    int barsDrawn = 0;
};
