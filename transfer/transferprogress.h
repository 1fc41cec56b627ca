#pragma once

// The text a transfer's progress bar shows: percentage, transfer rate and
// time left, such as "37% · 22.4 KB/s · 剩余 14:05". The clock is passed in
// (milliseconds on any monotonic clock), so the rate follows the caller's
// time, and the text changes at most every REFRESH_MS.

#include <QCoreApplication>
#include <QString>

class TransferProgress
{
    Q_DECLARE_TR_FUNCTIONS(TransferProgress)

public:
    static constexpr qint64 REFRESH_MS = 250;

    // A new transfer of `totalBytes` starting at `nowMs`.
    void start(qint64 totalBytes, qint64 nowMs);

    // `doneBytes` have gone through by `nowMs`. True when the text was
    // renewed: the first call, the last byte, or REFRESH_MS after the
    // previous renewal.
    bool update(qint64 doneBytes, qint64 nowMs);

    QString text() const { return shown; }

    // The text for given figures: rate in bytes per second (0: not known
    // yet, shown as "--"), time left in seconds.
    static QString format(int percent, double bytesPerSecond, qint64 secondsLeft);

private:
    qint64 total = 0;
    qint64 startMs = 0;
    qint64 lastRenewalMs = 0;
    bool renewed = false;
    QString shown;
};
