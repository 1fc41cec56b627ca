#pragma once

// Gives bytes the timing of a real line: one direction of the link between
// the tool and the module stand-in. Bytes handed to send() come out of
// delivered() in their order, after an optional delay, optionally cut into
// chunks, and optionally paced at a line rate (10 bits per byte: 230400 baud
// carries 23040 bytes per second). Every due time is computed from a shared
// QElapsedTimer, never by adding up timer intervals, so late timer wake-ups
// do not accumulate into the line time. A piece may be handed on up to 1 ms
// before it is due (timers wake on whole milliseconds, and late), so that the
// wake-up error averages out.

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>

class QTimer;

class LineShaper : public QObject
{
    Q_OBJECT

public:
    // `clock` must be started and outlive the shaper.
    explicit LineShaper(const QElapsedTimer *clock, QObject *parent = nullptr);

    // 0 (the default) sends at once; otherwise each byte takes 10 / baud s.
    void setLineRate(int baud);
    int lineRate() const { return baud; }
    // Pieces of at most `size` bytes (0: no cutting), `gapMs` apart at least.
    void setChunking(int size, int gapMs = 1);
    int chunkSize() const { return chunk; }
    // Every send waits this long first.
    void setDelayMs(int ms);
    int delayMs() const { return delay; }

    // Queues bytes that start on the line no earlier than `notBeforeNs` on
    // the clock (-1: now) plus the delay, and not before everything queued
    // earlier has gone. Pieces already due are delivered before this returns.
    void send(const QByteArray &bytes, qint64 notBeforeNs = -1);

    // Nanoseconds on the clock at which the last queued byte is through.
    qint64 lineFreeAtNs() const { return lineFreeNs; }
    qint64 bytesSent() const { return totalBytes; }
    bool idle() const { return pending.isEmpty(); }
    qint64 nowNs() const { return clock->nsecsElapsed(); }
    // Nanoseconds one byte takes on the line; 0 without pacing.
    qint64 byteNs() const;

signals:
    // One piece, with the clock time at which it was due.
    void delivered(const QByteArray &bytes, qint64 dueNs);

private:
    struct Piece {
        QByteArray bytes;
        qint64 dueNs;
    };
    void deliverDue();
    void scheduleNext();

    const QElapsedTimer *clock;
    QTimer *timer;
    QList<Piece> pending;
    int baud = 0;
    int chunk = 0;
    int chunkGapMs = 1;
    int delay = 0;
    qint64 lineFreeNs = 0;
    qint64 totalBytes = 0;
    bool delivering = false;
};
