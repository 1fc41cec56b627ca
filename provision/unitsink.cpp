#include "provision/unitsink.h"

QString transferPhaseKey(TransferPhase phase)
{
    return phase == TransferPhase::Upgrade ? QStringLiteral("upgrade") : QStringLiteral("log");
}

void UnitSink::unitBegan(const QString &, const QString &) {}
void UnitSink::stepDone(const QString &, const QString &) {}
void UnitSink::transferMoved(const QString &, TransferPhase, qint64, qint64, double) {}
void UnitSink::unitEnded(const PortOutcome &, const QJsonObject &) {}

void SinkList::unitBegan(const QString &port, const QString &command)
{
    for (UnitSink *sink : qAsConst(sinks))
        sink->unitBegan(port, command);
}

void SinkList::stepDone(const QString &port, const QString &step)
{
    for (UnitSink *sink : qAsConst(sinks))
        sink->stepDone(port, step);
}

void SinkList::transferMoved(const QString &port, TransferPhase phase, qint64 done, qint64 total,
                             double bytesPerSecond)
{
    for (UnitSink *sink : qAsConst(sinks))
        sink->transferMoved(port, phase, done, total, bytesPerSecond);
}

void SinkList::unitEnded(const PortOutcome &outcome, const QJsonObject &record)
{
    for (UnitSink *sink : qAsConst(sinks))
        sink->unitEnded(outcome, record);
}
