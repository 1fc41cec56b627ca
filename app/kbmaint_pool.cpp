#include "app/kbmaint_pool.h"

#include "app/kbmaint_console.h"
#include "app/kbmaint_outcome.h"

namespace PoolCommands
{

int run(const CliOptions &, Console *console)
{
    console->warn(QStringLiteral("pool"));
    return ExitStatus::FAILED;
}

} // namespace PoolCommands
