// The HQ editor in a Win32 window: a child of the host's window that shows the drawing core's
// picture through GDI and feeds its mouse messages to the model, capturing the mouse during a
// drag. Messages reach it through the host's message loop on the thread that made it, the host's
// user-interface thread, which also calls idle(); a timer of its own calls the owner's tick, so
// the meters move also in a host that seldom calls idle.
//
// Its window class is registered for the module that holds this code when a window opens and
// unregistered when the last one closes, under a lock, so that editors of two effects opening
// and closing at once on two threads never race for it.
#pragma once

#include "editor_window.h"
#include "hq_editor_model.h"
#include "pixel_canvas.h"
#include "shown_picture.h"

#include <functional>

class Win32EditorWindow final : public EditorWindow {
public:
    // [ui thread] Opens the window inside parent (an HWND) at scale. isOpen() tells whether it
    // worked: a parent that is no window leaves it closed.
    Win32EditorWindow(void* parent, HqEditorListener& listener, int scale, std::function<void()> tick);
    ~Win32EditorWindow() override;
    Win32EditorWindow(const Win32EditorWindow&) = delete;
    Win32EditorWindow& operator=(const Win32EditorWindow&) = delete;

    bool isOpen() const noexcept { return window_ != nullptr; }
    void idle(const HqEditorPicture& picture) override;

    // The scale for a window in parent: the user's override, else the parent's DPI where Windows
    // can tell it (GetDpiForWindow, GetDpiForSystem without a parent), else 1.
    static int scaleFor(void* parent) noexcept;

private:
    struct Messages; // the window procedure, which alone sees the Win32 types

    void* window_ = nullptr; // HWND, null once the window is gone (also when its parent took it)
    HqEditorModel model_;
    PixelCanvas canvas_;
    ShownPicture shown_;
    std::function<void()> tick_;
    HqPointer lastPointer_{};
    bool dragging_ = false;
    int wheelRemainder_ = 0;
};
