#include "cli/cli.h"

#include "cli/console.h"
#include "cli/inputs.h"
#include "cli/options.h"
#include "cli/pool.h"
#include "cli/records.h"
#include "cli/run.h"
#include "cli/signals.h"
#include "cli/stationrun.h"
#include "macpool/macpool.h"
#include "provision/macsupply.h"
#include "provision/recordsink.h"
#include "provision/reportfile.h"

#include <QCoreApplication>

#include <iostream>
#include <unistd.h>

namespace
{

// Input refused before anything was sent.
int refuse(Console *console, const QString &problem)
{
    console->failure(Failure::RefusedInput, problem);
    return ExitStatus::USAGE;
}

// The pool a plan takes from, opened and checked before any port is: enough
// free addresses for every port (for one at a time under --watch).
int checkPlanPool(const UnitPlan &plan, int ports, Console *console)
{
    const int perUnit = int(plan.poolWifiMac) + int(plan.poolFeMac);
    if (perUnit == 0)
        return ExitStatus::OK;
    PortOutcome outcome;
    outcome.failure =
        MacSupply::checkPool(plan.poolUrl, perUnit * qMax(1, ports), &outcome.message);
    if (outcome.ok())
        return ExitStatus::OK;
    console->failure(outcome.failure, outcome.message);
    return outcome.exitStatus();
}

int runModuleCommand(const CliOptions &options, Console *console)
{
    UnitPlan plan;
    QString problem;
    if (!InputCheck::preparePlan(options, &plan, &problem))
        return refuse(console, problem);
    const int poolStatus = checkPlanPool(plan, options.ports.size(), console);
    if (poolStatus != ExitStatus::OK)
        return poolStatus;
    // The report and the records take each unit's record (committed or
    // spooled) before the console says its result.
    SinkList sinks;
    ReportFile report;
    if (!options.report.isEmpty()) {
        if (!report.open(options.report, &problem))
            return refuse(console, problem);
        sinks.add(&report);
    }
    RecordSink records(plan.poolUrl.isEmpty() ? localPoolUrl() : plan.poolUrl);
    sinks.add(&records);
    sinks.add(console);
    if (options.watch) {
        console->warn(QCoreApplication::translate("kbmaint", "等待模块接入，按Ctrl+C结束"));
        return PortRuns::watch(plan, options.ports, &sinks);
    }
    return PortRuns::runAll(plan, options.ports, &sinks);
}

} // namespace

int kbmaintMain(int argc, char **argv)
{
    CliOptions options;
    std::string out;
    std::string err;
    const int parsed = parseCommandLine(argc, argv, &options, &out, &err);
    std::cout << out << std::flush;
    std::cerr << err << std::flush;
    if (parsed >= 0)
        return parsed;

    Console::Streams streams;
    streams.bars = !options.json && ::isatty(STDERR_FILENO) == 1;
    Console console(options.json, streams);
    if (!StopSignals::install()) {
        console.warn(QCoreApplication::translate("kbmaint", "无法处理中断信号"));
        return ExitStatus::FAILED;
    }
    switch (options.command) {
    case Command::Ports:
        return PortRuns::listPorts(&console);
    case Command::PoolGenerate:
    case Command::PoolStats:
    case Command::PoolList:
    case Command::PoolRelease:
        return PoolCommands::run(options, &console);
    case Command::RecordsList:
    case Command::RecordsYield:
    case Command::RecordsReport:
    case Command::RecordsFlush:
        return RecordsCommands::run(options, &console);
    default:
        if (!options.stationFile.isEmpty())
            return StationRun::run(options, &console);
        return runModuleCommand(options, &console);
    }
}
