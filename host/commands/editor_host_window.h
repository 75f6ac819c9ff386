// plughost's own top-level window for `plughost editor`, which the editor fills, and the picture
// file a screenshot becomes, on the platform's window system: X11 with the test extension and a
// PNG through cairo on Linux (editor_host_window_x11.cpp), Win32 with SendInput and a BMP on
// Windows, whose build has no PNG writer (editor_host_window_win32.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plughost {

class HostWindow {
public:
    // Throws UserError when there is no window system to open a window on.
    HostWindow();
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // The editor's parent: an X11 window id or an HWND.
    std::uintptr_t id() const noexcept;
    void show(int width, int height);

    // Handles what the window system sent (on Windows, the editor's messages too); false once
    // the user closed the window.
    bool stillOpen();

    // Why gestures cannot be sent as a mouse's here, or empty when they can.
    std::string whyNoGestures();
    // Moves the pointer to (x, y) in the window, and presses or releases button 1, through the
    // window system, so that the editor sees what a mouse would make.
    void pointer(int x, int y);
    void button(bool down);

    // The window's pixels as the window system holds them, 0x00RRGGBB, rows from the top.
    std::vector<std::uint32_t> pixels(int width, int height);

private:
    struct State;
    std::unique_ptr<State> state;
};

// The extension of the picture a screenshot is written as: ".png", or ".bmp" on Windows.
extern const char* const kScreenshotExtension;

// Throws UserError when path names the module's own file, which a screenshot must never replace.
void refuseScreenshotOverModule(const std::string& path, const std::string& module);

// Writes pixels (0x00RRGGBB, rows from the top) to path, whole or not at all: an earlier file
// there stays untouched until the new one is complete. Throws UserError when it cannot.
void writeScreenshot(const std::string& path, const std::vector<std::uint32_t>& pixels, int width, int height);

} // namespace plughost
