#pragma once

// Running a module command on its ports, each in a thread of its own with
// its own serial link; ports never wait for one another.

#include "provision/unitjob.h"

#include <QStringList>

class Console;
class UnitSink;

namespace PortRuns
{

// Runs `plan` on every port at once and waits for all of them. The exit
// status is the highest of the ports'.
int runAll(const UnitPlan &plan, const QStringList &ports, UnitSink *sink);

// Runs `plan` on every port that appears, until a stop signal: among
// `ports` when given (a path appears when it exists), otherwise among the
// serial ports the system lists. A port done once is done again only after
// it has disappeared and come back. The exit status is the highest of the
// units'.
int watch(const UnitPlan &plan, const QStringList &ports, UnitSink *sink);

// The serial ports in natural order.
int listPorts(Console *console);

} // namespace PortRuns
