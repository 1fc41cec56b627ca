#include "cli/run.h"

#include "cli/console.h"
#include "cli/signals.h"
#include "serial/portenumeration.h"
#include "serial/portnames.h"
#include "session/sessionlink.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <memory>

namespace
{

constexpr int WATCH_POLL_MS = 1000;

// One port's thread and, once it ended, its outcome.
struct PortThread {
    QString port;
    PortOutcome outcome;
    std::unique_ptr<QThread> thread;
};

std::unique_ptr<PortThread> startPort(const UnitPlan &plan, const QString &port, UnitSink *sink)
{
    auto run = std::make_unique<PortThread>();
    run->port = port;
    PortThread *self = run.get();
    run->thread.reset(QThread::create([&plan, sink, self] {
        self->outcome = runUnitJob(plan, self->port, sink, &StopSignals::flag());
    }));
    run->thread->start();
    return run;
}

QStringList presentPorts(const QStringList &watched)
{
    QStringList present;
    if (!watched.isEmpty()) {
        for (const QString &port : watched) {
            if (QFileInfo::exists(port))
                present.append(port);
        }
        return present;
    }
    for (const SerialPortEntry &entry : PortEnumeration::enumerate())
        present.append(entry.name);
    std::sort(present.begin(), present.end(), portNameLess);
    return present;
}

} // namespace

namespace PortRuns
{

int runAll(const UnitPlan &plan, const QStringList &ports, UnitSink *sink)
{
    std::vector<std::unique_ptr<PortThread>> runs;
    for (const QString &port : ports)
        runs.push_back(startPort(plan, port, sink));
    int status = ExitStatus::OK;
    for (const auto &run : runs) {
        run->thread->wait();
        status = qMax(status, run->outcome.exitStatus());
    }
    return status;
}

int watch(const UnitPlan &plan, const QStringList &ports, UnitSink *sink)
{
    std::vector<std::unique_ptr<PortThread>> running;
    QSet<QString> done;
    int status = ExitStatus::OK;
    auto reap = [&](bool all) {
        for (auto it = running.begin(); it != running.end();) {
            if (!all && !(*it)->thread->isFinished()) {
                ++it;
                continue;
            }
            (*it)->thread->wait();
            status = qMax(status, (*it)->outcome.exitStatus());
            done.insert((*it)->port);
            it = running.erase(it);
        }
    };
    for (;;) {
        reap(false);
        const QStringList present = presentPorts(ports);
        // A port that went away may be done again when it comes back.
        for (auto it = done.begin(); it != done.end();)
            it = present.contains(*it) ? std::next(it) : done.erase(it);
        for (const QString &port : present) {
            const bool busy = std::any_of(running.begin(), running.end(),
                                          [&port](const auto &run) { return run->port == port; });
            if (!busy && !done.contains(port))
                running.push_back(startPort(plan, port, sink));
        }
        if (StopSignals::waitForStop(WATCH_POLL_MS))
            break;
    }
    reap(true);
    return status;
}

int listPorts(Console *console)
{
    QList<SerialPortEntry> entries = PortEnumeration::enumerate();
    std::sort(entries.begin(), entries.end(),
              [](const SerialPortEntry &a, const SerialPortEntry &b) {
                  return portNameLess(a.name, b.name);
              });
    QJsonArray list;
    QString text;
    for (const SerialPortEntry &entry : entries) {
        list.append(QJsonObject{{QStringLiteral("name"), entry.name},
                                {QStringLiteral("busy"), entry.busy}});
        text += entry.name +
                (entry.busy ? QCoreApplication::translate("PortRuns", "（占用）") : QString()) +
                QLatin1Char('\n');
    }
    console->plainResult({{QStringLiteral("ok"), true}, {QStringLiteral("ports"), list}}, text);
    return ExitStatus::OK;
}

} // namespace PortRuns
