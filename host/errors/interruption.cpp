#include "interruption.h"

#include <atomic>
#include <csignal>

namespace plughost {

namespace {

// Written by the handler, so it must be lock-free to be async-signal-safe.
std::atomic<int> caughtSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

int catchers = 0;
struct sigaction previousInterrupt {};
struct sigaction previousTerminate {};

extern "C" void noteSignal(int number)
{
    caughtSignal.store(number, std::memory_order_relaxed);
}

} // namespace

InterruptCatcher::InterruptCatcher()
{
    if (catchers++ > 0)
        return;
    caughtSignal.store(0, std::memory_order_relaxed);
    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    // Restart interrupted reads and writes: the loop notices the flag at its next check.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInterrupt);
    sigaction(SIGTERM, &action, &previousTerminate);
}

InterruptCatcher::~InterruptCatcher()
{
    if (--catchers > 0)
        return;
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
}

int interruptingSignal() noexcept
{
    return caughtSignal.load(std::memory_order_relaxed);
}

void throwIfInterrupted(const std::string& message)
{
    if (const int number = interruptingSignal())
        throw Interrupted(number, message);
}

} // namespace plughost
