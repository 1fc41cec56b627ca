#pragma once

// kbmaint records list | yield | report | flush: the unit records in the
// pool's database (options.poolUrl, empty: the local pool) and the
// station's spool.

#include "cli/options.h"

class Console;

namespace RecordsCommands
{

// Runs options.command (one of the records commands); the exit status:
// 0, 2 for refused input, 5 when the database cannot be reached.
int run(const CliOptions &options, Console *console);

// A DATE option as the UTC ISO text the start times compare with: a day
// (yyyy-MM-dd, UTC) starts at its midnight, or the day after when `dayEnd`;
// an ISO time is turned to UTC. Empty text stays empty; false when
// `text` is neither.
bool utcBound(const QString &text, bool dayEnd, QString *bound);

} // namespace RecordsCommands
