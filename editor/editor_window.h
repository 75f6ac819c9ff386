// The HQ editor in a window of the platform's window system, inside a host's window: X11 on
// Linux (x11_editor_window.h), Win32 on Windows (win32_editor_window.h). A format's editor opens
// one here and drives it from the host's user-interface thread, handing it the effect's picture.
#pragma once

#include "hq_editor_model.h"
#include "hq_editor_view.h"

#include <functional>
#include <memory>

class EditorWindow {
public:
    virtual ~EditorWindow() = default;
    // [ui thread] Handles what the window system sent, then shows picture, its values replaced by
    // the model's (which hold what the host set and the mouse changed), when it differs.
    virtual void idle(const HqEditorPicture& picture) = 0;
};

// [ui thread] The scale an editor opened in parent draws at on this platform; parent may be null
// when the host asks for the editor's size before it names a window.
int editorWindowScale(void* parent) noexcept;

// [ui thread] Opens the editor's window inside parent (an X11 window id on Linux, an HWND on
// Windows) at scale; null when it will not open there. Where the window has a timer of its own,
// it calls tick on it, so that the meters move also in a host that seldom calls idle.
std::unique_ptr<EditorWindow> openEditorWindow(void* parent, HqEditorListener& listener, int scale,
                                               std::function<void()> tick);
