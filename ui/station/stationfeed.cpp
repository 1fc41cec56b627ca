#include "ui/station/stationfeed.h"

#include <QElapsedTimer>

// One slot's unit events, on that slot's thread only.
class StationFeed::SlotFeed : public UnitSink
{
public:
    SlotFeed(StationFeed *feed, int index) : feed(feed), index(index) { clock.start(); }

    void unitBegan(const QString &port, const QString &) override
    {
        lastProgressMs = -PROGRESS_MS;
        emit feed->unitBegan(index, port);
    }
    void stepDone(const QString &, const QString &step) override
    {
        emit feed->stepDone(index, step);
    }
    void transferMoved(const QString &, TransferPhase phase, qint64 done, qint64 total,
                       double) override
    {
        const qint64 now = clock.elapsed();
        if (now - lastProgressMs < PROGRESS_MS && done < total)
            return;
        lastProgressMs = now;
        emit feed->progressed(index, int(phase), done, total);
    }
    void unitEnded(const PortOutcome &outcome, const QJsonObject &record) override
    {
        if (feed->report)
            feed->report->unitEnded(outcome, record);
        emit feed->unitEnded(index, outcome.ok(), outcome.message, record);
    }

private:
    StationFeed *feed;
    int index;
    QElapsedTimer clock;
    qint64 lastProgressMs = -PROGRESS_MS;
};

StationFeed::StationFeed(int slotCount, UnitSink *report, QObject *parent)
    : QObject(parent), report(report)
{
    for (int i = 0; i < slotCount; ++i)
        feeds.push_back(std::make_unique<SlotFeed>(this, i));
}

StationFeed::~StationFeed() = default;

UnitSink *StationFeed::unitSink(int index)
{
    return feeds.at(size_t(index)).get();
}
