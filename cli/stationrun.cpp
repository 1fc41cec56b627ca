#include "cli/stationrun.h"

#include "cli/console.h"
#include "cli/inputs.h"
#include "cli/signals.h"
#include "macpool/macpool.h"
#include "provision/macsupply.h"
#include "provision/recordsink.h"
#include "provision/reportfile.h"
#include "provision/stationplan.h"
#include "provision/stationrunner.h"
#include "session/sessionlink.h"

#include <QFileInfo>

#include <memory>
#include <vector>

namespace
{

QString phaseKey(SlotPhase phase)
{
    switch (phase) {
    case SlotPhase::Idle:
        return QStringLiteral("idle");
    case SlotPhase::WaitingPort:
        return QStringLiteral("waiting-port");
    case SlotPhase::Refused:
        return QStringLiteral("refused");
    case SlotPhase::WaitingModule:
        return QStringLiteral("waiting-module");
    case SlotPhase::Running:
        return QStringLiteral("running");
    case SlotPhase::WaitingRemoval:
        return QStringLiteral("waiting-removal");
    }
    return QString();
}

// One slot's unit events: the console learns the slot of the unit's port
// before the first line, then the report and the console get them.
class SlotLines : public UnitSink
{
public:
    SlotLines(const QString &slot, Console *console, UnitSink *next)
        : slot(slot), console(console), next(next)
    {
    }
    void unitBegan(const QString &port, const QString &command) override
    {
        console->nameSlot(port, slot);
        next->unitBegan(port, command);
    }
    void stepDone(const QString &port, const QString &step) override { next->stepDone(port, step); }
    void transferMoved(const QString &port, TransferPhase phase, qint64 done, qint64 total,
                       double bytesPerSecond) override
    {
        next->transferMoved(port, phase, done, total, bytesPerSecond);
    }
    void unitEnded(const PortOutcome &outcome, const QJsonObject &record) override
    {
        next->unitEnded(outcome, record);
    }

private:
    QString slot;
    Console *console;
    UnitSink *next;
};

class ConsoleStation : public StationEvents
{
public:
    ConsoleStation(const StationFile &file, Console *console, UnitSink *next) : console(console)
    {
        for (const StationSlot &slot : file.slotList) {
            names.append(slot.name);
            lines.push_back(std::make_unique<SlotLines>(slot.name, console, next));
        }
    }
    UnitSink *unitSink(int index) override { return lines.at(size_t(index)).get(); }
    void slotPhase(int index, SlotPhase phase, const QString &detail) override
    {
        console->slotPhase(names.at(index), phaseKey(phase), detail);
    }

private:
    Console *console;
    QStringList names;
    std::vector<std::unique_ptr<SlotLines>> lines;
};

// The options that name a file or a value override the station's.
void applyOverrides(const CliOptions &options, StationFile *file)
{
    auto absolute = [](const QString &path) { return QFileInfo(path).absoluteFilePath(); };
    if (!options.recipe.isEmpty())
        file->recipe = absolute(options.recipe);
    if (!options.poolUrl.isEmpty())
        file->pool = options.poolUrl;
    if (!options.report.isEmpty())
        file->report = absolute(options.report);
    if (!options.operatorName.trimmed().isEmpty())
        file->operatorName = options.operatorName.trimmed();
    if (options.passwordStdin)
        file->passwordFile.clear();
    else if (!options.passwordFile.isEmpty())
        file->passwordFile = absolute(options.passwordFile);
    if (!options.newLoginPasswordFile.isEmpty())
        file->newLoginPasswordFile = absolute(options.newLoginPasswordFile);
    if (!options.newWifiPasswordFile.isEmpty())
        file->newWifiPasswordFile = absolute(options.newWifiPasswordFile);
}

int refuse(Console *console, Failure failure, const QString &problem)
{
    console->failure(failure, problem);
    PortOutcome outcome;
    outcome.failure = failure;
    return outcome.exitStatus();
}

bool preparePlan(const CliOptions &options, const StationFile &file, UnitPlan *plan,
                 QString *problem)
{
    if (!file.pool.isEmpty()) {
        *problem = InputCheck::poolUrlProblem(file.pool);
        if (!problem->isEmpty())
            return false;
    }
    if (!StationPlan::build(file, options.account, plan, problem))
        return false;
    plan->claimSeconds = options.claimSeconds;
    return true;
}

} // namespace

namespace StationRun
{

int run(const CliOptions &options, Console *console)
{
    StationFile file;
    QString problem;
    if (!StationFileReader::load(options.stationFile, &file, &problem))
        return refuse(console, Failure::RefusedInput, problem);
    applyOverrides(options, &file);
    UnitPlan plan;
    if (!preparePlan(options, file, &plan, &problem))
        return refuse(console, Failure::RefusedInput, problem);
    const int perUnit = int(plan.poolWifiMac) + int(plan.poolFeMac);
    if (perUnit > 0) {
        // Every slot at once, or one unit at a time while watching.
        const int units = options.watch ? 1 : file.slotList.size();
        const Failure pool = MacSupply::checkPool(plan.poolUrl, perUnit * units, &problem);
        if (pool != Failure::None)
            return refuse(console, pool, problem);
    }
    SinkList sinks;
    ReportFile report;
    if (!file.report.isEmpty()) {
        if (!report.open(file.report, &problem))
            return refuse(console, Failure::RefusedInput, problem);
        sinks.add(&report);
    }
    RecordSink records(plan.poolUrl.isEmpty() ? localPoolUrl() : plan.poolUrl);
    sinks.add(&records);
    sinks.add(console);
    ConsoleStation events(file, console, &sinks);
    StationRunner runner(file.slotList, plan, &events, &StopSignals::flag());
    runner.start(options.watch);
    if (options.watch) {
        while (!StopSignals::waitForStop(1000)) {
        }
        runner.stop();
    }
    runner.wait();
    return runner.exitStatus();
}

} // namespace StationRun
