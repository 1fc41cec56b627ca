#include "ui/macpage/handlesqlmac.h"

#include "base/macaddress.h"
#include "macpool/macpool.h"

#include <cmath>

namespace
{
// Steps of the bar that are worth a signal: a range of up to 200 rows reports every row,
// a longer one every half per cent and its last row, so that a 10,000-row range does not
// flood the GUI thread with repaints.
constexpr qint64 PROGRESS_STEPS = 200;

bool showsProgress(int i, int count)
{
    const qint64 span = qint64(count) + 1;
    return count <= PROGRESS_STEPS || i == count - 2 ||
           (qint64(i) * PROGRESS_STEPS) / span != (qint64(i + 1) * PROGRESS_STEPS) / span;
}
} // namespace

HandleSqlMac::HandleSqlMac(const QString &startMac, int count, int headLength, int step,
                           const QString &separator, const QString &batch)
    : startMac(startMac), count(count), headLength(headLength), step(step), separator(separator),
      batch(batch)
{
}

void HandleSqlMac::run()
{
    emit progressVSignal(1);
    insertMacRange();
    emit isEndSignal();
}

void HandleSqlMac::insertMacRange()
{
    MacRange range;
    QString why;
    if (!planMacRange(startMac, count, headLength, step, separator, range, why)) {
        emit errorMsg(why);
        return;
    }
    QString errorText;
    // A connection of this thread's own; a generation may start a new file.
    MacPool pool(localPoolUrl(), QString(), MissingPoolFile::Create);
    const bool stored = pool.generate(range, batch, errorText, [this](int i) {
        if (showsProgress(i, count))
            emit progressVSignal(i);
    });
    if (stored) {
        emit progressVSignal(count + 1);
        return;
    }
    emit errorMsg(errorText + tr(". 请检查MAC是否已创建或其他参数配置!"));
    emit progressVSignal(int(std::lround((qint64(count) + 1) * 0.9)));
}
