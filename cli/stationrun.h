#pragma once

// kbmaint provision --station FILE: the station's slots instead of --port,
// its recipe, pool, report, operator and password files unless an option
// gives them. Every line and record carries the slot's name.

#include "cli/options.h"

class Console;

namespace StationRun
{

// Runs the station once, or with options.watch until a stop signal; the
// exit status as for ports (2 for a refused station file, before any port
// is opened).
int run(const CliOptions &options, Console *console);

} // namespace StationRun
