// Ctrl-C (SIGINT) and SIGTERM while a command writes a file: the handler only
// notes the signal, and the command stops at its next check, removing what it
// had half written.
#pragma once

#include <stdexcept>
#include <string>

namespace plughost {

// Thrown by a command that stopped because of a signal. main exits with 128 + the signal number.
class Interrupted : public std::runtime_error {
public:
    Interrupted(int signalNumber, const std::string& message) : std::runtime_error(message), signal(signalNumber) {}
    int signalNumber() const noexcept { return signal; }

private:
    int signal;
};

// While alive, SIGINT and SIGTERM only set a flag; the previous handlers come back
// when it dies. Nestable: only the outermost catcher installs and restores.
class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;
};

// The signal that arrived under a catcher, or 0. Cheap enough to ask once per block.
int interruptingSignal() noexcept;

// Throws Interrupted with `message` when a signal has arrived.
void throwIfInterrupted(const std::string& message);

} // namespace plughost
