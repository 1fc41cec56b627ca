#pragma once

// kbmaint pool generate | stats | list: the MAC address pool without a module.

#include "cli/options.h"

class Console;

namespace PoolCommands
{

// Runs options.command (one of the pool commands) on options.poolUrl
// (empty: the local pool); the exit status.
int run(const CliOptions &options, Console *console);

} // namespace PoolCommands
