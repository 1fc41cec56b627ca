#pragma once

// Runs a station: one line thread per slot, each with its own blocking
// serial link, every unit through runUnitJob() with the slot's name in its plan.
// Once: each slot whose port is there runs one unit. Watching: a slot starts
// a unit when a module answers on its port (a read request each second while
// idle, answered even by an error reply), and the next one only after the
// port went away or the module stopped answering for two seconds.

#include "provision/slotresolver.h"
#include "provision/unitjob.h"

#include <QString>
#include <QVector>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class CancelFlag;
class LineThread;
class UnitSink;

// Where a slot stands between units.
enum class SlotPhase {
    Idle,          // not started, or ended
    WaitingPort,   // the port is not there
    Refused,       // the port is in conflict; the detail names it
    WaitingModule, // the port is there, no module answers yet
    Running,       // a unit runs; its events go to the slot's UnitSink
    WaitingRemoval // the unit ended; waiting for the module to go
};

// The station's events; called from the slots' threads.
class StationEvents
{
public:
    virtual ~StationEvents() = default;
    // The sink for the unit events of slot `index`.
    virtual UnitSink *unitSink(int index) = 0;
    // Slot `index` moved to `phase`; `detail` is its device or the reason.
    virtual void slotPhase(int index, SlotPhase phase, const QString &detail) = 0;
};

class StationRunner
{
public:
    struct Timing {
        int pollMs = 1000; // between two looks at an idle port
        int goneMs = 2000; // silence that counts as a removed module
    };

    // `plan` is copied per slot; its firmware image stays shared. `cancel`
    // stops every slot (a transfer gets CAN, the session logs out); it must
    // outlive the runner.
    StationRunner(const QVector<StationSlot> &slotList, const UnitPlan &plan, StationEvents *events,
                  CancelFlag *cancel, AdapterSource adapters = systemAdapters);
    ~StationRunner();
    StationRunner(const StationRunner &) = delete;
    StationRunner &operator=(const StationRunner &) = delete;

    void setTiming(const Timing &timing) { this->timing = timing; }

    // Starts every slot's thread; nothing happens while threads still run.
    void start(bool watch);
    // Sets the cancel flag and wakes the slots' waits; returns at once.
    void stop();
    // Joins the slots' threads; then the cancel flag is cleared.
    void wait();
    bool isRunning() const { return !threads.empty(); }
    // The highest exit status of the units run so far.
    int exitStatus() const { return status.load(); }

private:
    void runSlot(int index, bool watch);
    bool runOnce(int index, const UnitPlan &plan, bool probe);
    void awaitRemoval(int index);
    SlotResolution resolve(int index) const;
    bool moduleAnswers(const QString &device) const;
    // Sleeps `ms`; true when the station was stopped meanwhile.
    bool pause(int ms);
    bool stopped() const;
    void phase(int index, SlotPhase phase, const QString &detail = QString());

    QVector<StationSlot> slotList;
    UnitPlan plan;
    StationEvents *events;
    CancelFlag *cancel;
    AdapterSource adapters;
    Timing timing;
    struct Told {
        SlotPhase phase = SlotPhase::Idle;
        QString detail;
    };
    std::vector<Told> told;                           // the last phase told of each slot
    std::vector<std::unique_ptr<LineThread>> threads; // one task each: the slot's loop
    std::atomic<int> status{0};
    std::mutex lock;
    std::condition_variable wake;
};
