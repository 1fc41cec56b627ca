#pragma once

// The bridge from the slots' threads to the GUI thread: the station's
// events become signals, delivered to receivers in the GUI thread through
// queued connections. Transfer progress is thinned to PROGRESS_MS per slot;
// a unit's begin, steps and end always pass.

#include "provision/stationrunner.h"
#include "provision/unitsink.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class StationFeed : public QObject, public StationEvents
{
    Q_OBJECT

public:
    static constexpr qint64 PROGRESS_MS = 250;

    StationFeed(int slotCount, UnitSink *report, QObject *parent = nullptr);
    ~StationFeed() override;

    UnitSink *unitSink(int index) override;
    void slotPhase(int index, SlotPhase phase, const QString &detail) override
    {
        emit phaseChanged(index, int(phase), detail);
    }

signals:
    void phaseChanged(int slot, int phase, const QString &detail);
    void unitBegan(int slot, const QString &port);
    void stepDone(int slot, const QString &step);
    // `phase` is the TransferPhase as an int; done and total in bytes.
    void progressed(int slot, int phase, qint64 done, qint64 total);
    void unitEnded(int slot, bool ok, const QString &message, const QJsonObject &record);

private:
    class SlotFeed;
    friend class SlotFeed;
    UnitSink *report; // may be null; takes each record before the page hears of it
    std::vector<std::unique_ptr<SlotFeed>> feeds;
};
