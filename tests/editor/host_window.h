// A host's window on the test's own display: the parent an editor opens into, mapped and
// known to the server before the test goes on, destroyed with the connection.
#pragma once

#include <X11/Xlib.h>

class HostWindow {
public:
    HostWindow(int width, int height) : display_(XOpenDisplay(nullptr))
    {
        if (display_ == nullptr) {
            return;
        }
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, static_cast<unsigned>(width),
                                      static_cast<unsigned>(height), 0, 0, 0);
        XMapWindow(display_, window_);
        XSync(display_, False);
    }
    ~HostWindow()
    {
        if (display_ != nullptr) {
            XDestroyWindow(display_, window_);
            XCloseDisplay(display_);
        }
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // Null when the display could not be opened.
    Display* display() const { return display_; }
    Window window() const { return window_; }

private:
    Display* display_;
    Window window_ = 0;
};
