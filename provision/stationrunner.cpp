#include "provision/stationrunner.h"

#include "session/blockingseriallink.h"
#include "session/linethread.h"
#include "session/modulesession.h"
#include "session/sessionlink.h"

#include <QElapsedTimer>

namespace
{
// A stop set by a signal handler cannot wake the wait: look at the flag this often.
constexpr int STOP_LOOK_MS = 100;
} // namespace

StationRunner::StationRunner(const QVector<StationSlot> &slotList, const UnitPlan &plan,
                             StationEvents *events, CancelFlag *cancel, AdapterSource adapters)
    : slotList(slotList), plan(plan), events(events), cancel(cancel), adapters(std::move(adapters))
{
}

StationRunner::~StationRunner()
{
    if (threads.empty())
        return;
    stop();
    wait();
}

void StationRunner::start(bool watch)
{
    if (!threads.empty())
        return;
    told.assign(size_t(slotList.size()), Told());
    for (int i = 0; i < slotList.size(); ++i) {
        threads.emplace_back(std::make_unique<LineThread>());
        threads.back()->post([this, i, watch] { runSlot(i, watch); });
    }
}

void StationRunner::stop()
{
    cancel->cancel();
    std::lock_guard<std::mutex> guard(lock);
    wake.notify_all();
}

void StationRunner::wait()
{
    for (const auto &thread : threads)
        thread->finish();
    const bool any = !threads.empty();
    threads.clear();
    if (any)
        cancel->reset();
}

bool StationRunner::stopped() const
{
    return cancel->isSet();
}

bool StationRunner::pause(int ms)
{
    QElapsedTimer clock;
    clock.start();
    std::unique_lock<std::mutex> guard(lock);
    while (!stopped() && clock.elapsed() < ms) {
        const qint64 left = qMin<qint64>(STOP_LOOK_MS, ms - clock.elapsed());
        wake.wait_for(guard, std::chrono::milliseconds(qMax<qint64>(1, left)));
    }
    return stopped();
}

// Only changes are told; each slot's thread touches its own entry.
void StationRunner::phase(int index, SlotPhase phase, const QString &detail)
{
    Told &last = told[size_t(index)];
    if (last.phase == phase && last.detail == detail)
        return;
    last = {phase, detail};
    events->slotPhase(index, phase, detail);
}

SlotResolution StationRunner::resolve(int index) const
{
    return SlotResolver::resolveAll(slotList, adapters).at(index);
}

// Any reply to a read request, an error reply too, is a module.
bool StationRunner::moduleAnswers(const QString &device) const
{
    BlockingSerialLink link;
    QString problem;
    if (!link.open(device, &problem))
        return false;
    ModuleSession session(&link, nullptr, cancel);
    VersionInfo versions;
    return session.readVersions(&versions).outcome != StepOutcome::TimedOut;
}

void StationRunner::runSlot(int index, bool watch)
{
    UnitPlan own = plan;
    own.slot = slotList.at(index).name;
    while (!stopped()) {
        if (!runOnce(index, own, watch)) {
            if (!watch || pause(timing.pollMs))
                break;
            continue;
        }
        if (!watch)
            break;
        awaitRemoval(index);
    }
    phase(index, SlotPhase::Idle);
}

// Runs one unit when the slot's port is there (and, with `probe`, a module
// answers on it); false when no unit ran.
bool StationRunner::runOnce(int index, const UnitPlan &own, bool probe)
{
    const SlotResolution where = resolve(index);
    if (where.state == SlotResolution::State::Absent) {
        phase(index, SlotPhase::WaitingPort, slotList.at(index).port);
        return false;
    }
    if (where.state == SlotResolution::State::Refused) {
        phase(index, SlotPhase::Refused, where.problem);
        return false;
    }
    if (probe) {
        phase(index, SlotPhase::WaitingModule, where.device);
        if (!moduleAnswers(where.device))
            return false;
    }
    if (stopped())
        return false;
    phase(index, SlotPhase::Running, where.device);
    const PortOutcome outcome = runUnitJob(own, where.device, events->unitSink(index), cancel);
    int was = status.load();
    while (was < outcome.exitStatus() && !status.compare_exchange_weak(was, outcome.exitStatus()))
        ;
    return true;
}

// Returns once the port went away or no module answered for goneMs.
void StationRunner::awaitRemoval(int index)
{
    QElapsedTimer silence;
    silence.start();
    while (!pause(timing.pollMs)) {
        const SlotResolution where = resolve(index);
        if (where.state != SlotResolution::State::Present)
            return;
        phase(index, SlotPhase::WaitingRemoval, where.device);
        if (moduleAnswers(where.device))
            silence.restart();
        else if (silence.elapsed() >= timing.goneMs)
            return;
    }
}
