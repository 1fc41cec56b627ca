#include "transfer/transferprogress.h"

#include <cmath>

namespace
{

QString clockText(qint64 seconds)
{
    const qint64 hours = seconds / 3600;
    const QString minutesAndSeconds = QStringLiteral("%1:%2")
                                          .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                                          .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return hours > 0 ? QStringLiteral("%1:%2").arg(hours).arg(minutesAndSeconds)
                     : minutesAndSeconds;
}

} // namespace

void TransferProgress::start(qint64 totalBytes, qint64 nowMs)
{
    total = qMax<qint64>(0, totalBytes);
    startMs = nowMs;
    renewed = false;
    shown = format(0, 0, -1);
}

bool TransferProgress::update(qint64 doneBytes, qint64 nowMs)
{
    const qint64 done = qBound<qint64>(0, doneBytes, total);
    const bool finished = done == total;
    if (renewed && !finished && nowMs - lastRenewalMs < REFRESH_MS)
        return false;
    renewed = true;
    lastRenewalMs = nowMs;
    // A short transfer can end within the clock's first millisecond: it
    // still shows a rate, not "--".
    const qint64 elapsedMs = qMax<qint64>(1, nowMs - startMs);
    const double rate = double(done) * 1000.0 / double(elapsedMs);
    const qint64 left = rate > 0 ? qint64(std::ceil(double(total - done) / rate)) : -1;
    const int percent = total > 0 ? int(done * 100 / total) : 100;
    shown = format(percent, rate, left);
    return true;
}

QString TransferProgress::format(int percent, double bytesPerSecond, qint64 secondsLeft)
{
    const QString rate = bytesPerSecond > 0 ? QString::number(bytesPerSecond / 1024.0, 'f', 1)
                                            : QStringLiteral("--");
    const QString left = secondsLeft >= 0 ? clockText(secondsLeft) : QStringLiteral("--:--");
    return tr("%1% · %2 KB/s · 剩余 %3").arg(percent).arg(rate, left);
}
