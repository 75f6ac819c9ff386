// Keeping what lilv and plug-ins print on standard error out of plughost's one-line
// messages: while alive, file descriptor 2 goes to a temporary file.
#pragma once

#include <string>

namespace plughost {

class QuietStderr {
public:
    QuietStderr();
    ~QuietStderr(); // restores standard error; what was caught is dropped
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

    // The first non-empty line written so far, without lilv's "function(): " prefix.
    std::string firstLine() const;

private:
    int saved = -1;
    int caught = -1;
};

} // namespace plughost
