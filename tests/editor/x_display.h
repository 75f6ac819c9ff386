// An X display of the test's own: Xvfb started on a free display number (it picks one and
// writes it back), DISPLAY pointed at it for this process and its children, and the server
// stopped when the object dies. Its screen holds the editor at scale 4; the user's override of
// the editor's scale is cleared for this process and its children, so the display decides. The
// server never resets, which it would do when its last client left, so what a test puts on the
// root window (the resources) stays there while the next client connects.
#pragma once

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

class XDisplay {
public:
    // screen: Xvfb's WIDTHxHEIGHTxDEPTH, large enough for the windows the test opens.
    explicit XDisplay(const char* screen = "2560x1440x24")
    {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp", "-noreset",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char text[16] = {};
        std::size_t got = 0;
        while (got < sizeof text - 1) {
            const ssize_t n = read(fds[0], text + got, sizeof text - 1 - got);
            if (n <= 0 || text[got + static_cast<std::size_t>(n) - 1] == '\n') {
                got += n > 0 ? static_cast<std::size_t>(n) : 0;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        close(fds[0]);
        if (got > 0) {
            name_ = ":" + std::string(text, got - (text[got - 1] == '\n' ? 1 : 0));
            setenv("DISPLAY", name_.c_str(), 1);
            unsetenv("SOFTKNEESHAPER_EDITOR_SCALE");
        }
    }
    ~XDisplay()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    // ":N", or empty when Xvfb did not start.
    const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};
