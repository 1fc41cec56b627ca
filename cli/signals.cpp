#include "cli/signals.h"

#include "provision/unitoutcome.h"
#include "session/sessionlink.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace
{

CancelFlag stopFlag;
std::atomic<int> signalsSeen{0};
int wakePipe[2] = {-1, -1};

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handler needs lock-free atomics");

void onStopSignal(int)
{
    if (signalsSeen.fetch_add(1) > 0)
        ::_exit(ExitStatus::INTERRUPTED);
    stopFlag.cancel();
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &byte, 1);
}

} // namespace

namespace StopSignals
{

bool install()
{
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {
    };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

CancelFlag &flag()
{
    return stopFlag;
}

bool waitForStop(int ms)
{
    if (stopFlag.isSet())
        return true;
    pollfd wake{wakePipe[0], POLLIN, 0};
    ::poll(&wake, 1, ms);
    return stopFlag.isSet();
}

} // namespace StopSignals
