#pragma once

// SIGINT and SIGTERM for kbmaint. The first one sets the stop flag that
// every port's session watches (a running transfer gets the stop exchange,
// then logout, then the port is closed) and wakes waitForStop(); a second
// one ends the process at once with status 130.

class CancelFlag;

namespace StopSignals
{

// Installs the handlers; false when the wake-up pipe cannot be made.
bool install();

// The flag the handlers set; shared by every port.
CancelFlag &flag();

// Sleeps until a stop signal came or `ms` passed; true after a signal.
bool waitForStop(int ms);

} // namespace StopSignals
