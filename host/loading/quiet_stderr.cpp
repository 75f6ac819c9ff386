#include "quiet_stderr.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <regex>

namespace plughost {

QuietStderr::QuietStderr()
{
    std::fflush(stderr);
    char name[] = "/tmp/plughost-stderr-XXXXXX";
    caught = ::mkstemp(name);
    if (caught < 0)
        return; // nothing to catch into: messages stay visible rather than lost
    ::unlink(name);
    saved = ::dup(STDERR_FILENO);
    if (saved < 0 || ::dup2(caught, STDERR_FILENO) < 0) {
        ::close(caught);
        caught = -1;
    }
}

QuietStderr::~QuietStderr()
{
    std::fflush(stderr);
    if (saved >= 0) {
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
    }
    if (caught >= 0)
        ::close(caught);
}

std::string QuietStderr::firstLine() const
{
    if (caught < 0)
        return {};
    std::fflush(stderr);
    std::string text;
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(caught, buffer, sizeof buffer, at);
        if (got <= 0 || text.size() > 65536)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
        at += got;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        // "lilv_lib_open(): error: Failed to open library ..." reads better without the function.
        line = std::regex_replace(line, std::regex(R"(^[a-z_]+\(\): (error: |warning: )?)"), "");
        if (line.find_first_not_of(" \t\r") != std::string::npos)
            return line;
    }
    return {};
}

} // namespace plughost
