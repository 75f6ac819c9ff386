// An output file that appears whole or not at all. It is written under a
// temporary name in the target's folder and renamed over the target only by
// commit(); until then an earlier file of the target's name stays untouched.
// Dropped uncommitted (an error, Ctrl-C), the temporary file is removed.
#pragma once

#include "interruption.h"

#include <string>

namespace plughost {

class AtomicOutput {
public:
    // Creates the temporary file. While the object lives, SIGINT and SIGTERM
    // only set a flag (see interruption.h). Throws UserError when the target is
    // a folder or its folder cannot take a new file.
    explicit AtomicOutput(std::string target);
    ~AtomicOutput();
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    // Where the writer writes: the temporary file, empty, with the permissions the target will have.
    const std::string& path() const noexcept { return temporaryPath; }
    const std::string& target() const noexcept { return targetPath; }

    // Throws Interrupted when SIGINT or SIGTERM has arrived; long loops call it once per step.
    void checkInterrupted() const;

    // Flushes the temporary file to disk and renames it over the target. Throws
    // Interrupted after a signal and UserError when the file cannot be completed;
    // either way the temporary file is removed and the target left as it was.
    void commit();

private:
    void discard() noexcept;

    InterruptCatcher catcher;
    std::string targetPath;
    std::string temporaryPath;
    std::string renameTo; // the target, or the file a link at the target points to
    bool committed = false;
};

} // namespace plughost
