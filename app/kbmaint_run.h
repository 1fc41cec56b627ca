#pragma once

// Running a module command on its ports, each in a thread of its own with
// its own serial link; ports never wait for one another.

#include "app/kbmaint_job.h"

#include <QStringList>

class Console;

namespace PortRuns
{

// Runs `plan` on every port at once and waits for all of them. The exit
// status is the highest of the ports'.
int runAll(const JobPlan &plan, const QStringList &ports, Console *console);

// Runs `plan` on every port that appears, until a stop signal: among
// `ports` when given (a path appears when it exists), otherwise among the
// serial ports the system lists. A port done once is done again only after
// it has disappeared and come back. The exit status is the highest of the
// units'.
int watch(const JobPlan &plan, const QStringList &ports, Console *console);

// The serial ports in natural order.
int listPorts(Console *console);

} // namespace PortRuns
