#include "simulator/lineshaper.h"

#include <QTimer>

namespace
{
constexpr qint64 NS_PER_MS = 1000000;
constexpr qint64 NS_PER_S = 1000000000;
constexpr int BITS_PER_BYTE = 10; // start bit, 8 data bits, stop bit
// Paced bytes are handed on in bunches of about this much line time.
constexpr qint64 PACING_SLICE_NS = 2 * NS_PER_MS;
// Timers wake on whole milliseconds, and late by a fraction of one: a piece
// goes out when it is due within one millisecond, so the wake-up error
// averages out instead of adding up.
constexpr qint64 DUE_TOLERANCE_NS = NS_PER_MS;
} // namespace

LineShaper::LineShaper(const QElapsedTimer *clock, QObject *parent)
    : QObject(parent), clock(clock), timer(new QTimer(this))
{
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, &LineShaper::deliverDue);
}

void LineShaper::setLineRate(int rate)
{
    baud = qMax(0, rate);
}

void LineShaper::setChunking(int size, int gapMs)
{
    chunk = qMax(0, size);
    chunkGapMs = qMax(0, gapMs);
}

void LineShaper::setDelayMs(int ms)
{
    delay = qMax(0, ms);
}

qint64 LineShaper::byteNs() const
{
    return baud > 0 ? BITS_PER_BYTE * NS_PER_S / baud : 0;
}

// Without pacing a piece is due when it starts (chunks one gap apart); with
// pacing when its last byte is through, so the bytes arrive as the line
// would carry them.
void LineShaper::send(const QByteArray &bytes, qint64 notBeforeNs)
{
    if (bytes.isEmpty())
        return;
    const qint64 now = nowNs();
    const qint64 earliest = (notBeforeNs < 0 ? now : notBeforeNs) + delay * NS_PER_MS;
    qint64 start = qMax(earliest, lineFreeNs);
    const qint64 perByte = byteNs();
    int pieceSize = bytes.size();
    if (chunk > 0)
        pieceSize = chunk;
    else if (perByte > 0)
        pieceSize = int(qMax<qint64>(1, PACING_SLICE_NS / perByte));

    qint64 lastDue = start;
    for (int offset = 0; offset < bytes.size(); offset += pieceSize) {
        const QByteArray piece = bytes.mid(offset, pieceSize);
        qint64 due = start + (offset + piece.size()) * perByte;
        if (chunk > 0 && offset > 0)
            due = qMax(due, lastDue + chunkGapMs * NS_PER_MS);
        pending.append({piece, due});
        lastDue = due;
    }
    lineFreeNs = lastDue;
    totalBytes += bytes.size();
    deliverDue();
}

void LineShaper::deliverDue()
{
    if (delivering)
        return; // a receiver sent more from inside delivered(); the outer loop goes on
    delivering = true;
    while (!pending.isEmpty() && pending.first().dueNs <= nowNs() + DUE_TOLERANCE_NS) {
        const Piece piece = pending.takeFirst();
        emit delivered(piece.bytes, piece.dueNs);
    }
    delivering = false;
    scheduleNext();
}

void LineShaper::scheduleNext()
{
    if (pending.isEmpty()) {
        timer->stop();
        return;
    }
    const qint64 waitNs = pending.first().dueNs - DUE_TOLERANCE_NS - nowNs();
    timer->start(int(qMax<qint64>(0, (waitNs + NS_PER_MS - 1) / NS_PER_MS)));
}
