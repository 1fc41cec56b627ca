#pragma once

// Where a unit job reports: a front end's console, its JSON lines, the
// report file, a station tile. The job calls from the unit's own thread; a
// sink that several units share makes its calls safe from any thread.

#include "provision/unitoutcome.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// The two transfers whose progress a sink is told of.
enum class TransferPhase { Upgrade, Log };

// "upgrade" or "log", the phase's stable key.
QString transferPhaseKey(TransferPhase phase);

class UnitSink
{
public:
    virtual ~UnitSink() = default;

    // The unit's job starts on `port`; `command` is the plan's name for it.
    virtual void unitBegan(const QString &port, const QString &command);
    // A step ended well; `step` is its stable key ("login", "info", "ssid",
    // "wifi-password", "login-password", "wifi-mac", "fe-mac", "verify",
    // "pull-log", "upgrade", "logout").
    virtual void stepDone(const QString &port, const QString &step);
    // A transfer moved on: `done` of `total` bytes at `bytesPerSecond`.
    // Called for every block; a sink throttles for itself.
    virtual void transferMoved(const QString &port, TransferPhase phase, qint64 done, qint64 total,
                               double bytesPerSecond);
    // The unit ended with `outcome`; `record` is its report record.
    virtual void unitEnded(const PortOutcome &outcome, const QJsonObject &record);
};

// Hands every event to each of several sinks, in the order they were added.
class SinkList : public UnitSink
{
public:
    void add(UnitSink *sink) { sinks.append(sink); }

    void unitBegan(const QString &port, const QString &command) override;
    void stepDone(const QString &port, const QString &step) override;
    void transferMoved(const QString &port, TransferPhase phase, qint64 done, qint64 total,
                       double bytesPerSecond) override;
    void unitEnded(const PortOutcome &outcome, const QJsonObject &record) override;

private:
    QList<UnitSink *> sinks;
};
