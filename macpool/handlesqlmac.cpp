#include "macpool/handlesqlmac.h"

#include "macpool/macaddress.h"
#include "macpool/macstore.h"

#include <cmath>

HandleSqlMac::HandleSqlMac(const QString &startMac, int count, int headLength, int step,
                           const QString &separator, const QString &batch)
    : startMac(startMac), count(count), headLength(headLength), step(step), separator(separator),
      batch(batch)
{
}

void HandleSqlMac::run()
{
    emit progressVSignal(1);
    insertRange();
    emit isEndSignal();
}

void HandleSqlMac::insertRange()
{
    MacRange range;
    QString why;
    if (!planMacRange(startMac, count, headLength, step, separator, range, why)) {
        emit errorMsg(why);
        return;
    }
    QString errorText;
    const bool stored = insertMacRange(macWorkerConnectionName, range, batch, errorText,
                                       [this](int i) { emit progressVSignal(i); });
    if (stored) {
        emit progressVSignal(count + 1);
        return;
    }
    emit errorMsg(errorText + tr(". 请检查MAC是否已创建或其他参数配置!"));
    emit progressVSignal(int(std::lround((qint64(count) + 1) * 0.9)));
}
