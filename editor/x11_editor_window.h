// The HQ editor in an X11 window: a child of the host's window that shows the drawing core's
// picture and feeds its mouse events to the model. It opens its own connection to the display,
// so it never touches the host's, and does everything on the thread that calls it, the host's
// user-interface thread: events are read and the picture drawn in idle(), never elsewhere.
#pragma once

#include "editor_window.h"
#include "hq_editor_model.h"
#include "hq_editor_view.h"
#include "pixel_canvas.h"
#include "shown_picture.h"

#include <cstdint>
#include <memory>

class X11EditorWindow final : public EditorWindow {
public:
    // [ui thread] Opens the window inside parent (an X11 window id) at scale. isOpen() tells
    // whether it worked: no display, or a parent that does not exist, leaves it closed.
    X11EditorWindow(std::uintptr_t parent, HqEditorListener& listener, int scale);
    ~X11EditorWindow() override;
    X11EditorWindow(const X11EditorWindow&) = delete;
    X11EditorWindow& operator=(const X11EditorWindow&) = delete;

    bool isOpen() const noexcept { return window_ != 0; }
    std::uintptr_t window() const noexcept { return window_; }
    int width() const noexcept { return canvas_.width(); }
    int height() const noexcept { return canvas_.height(); }
    HqEditorModel& model() noexcept { return model_; }

    // [ui thread] Handles the events that arrived, then shows picture (its values replaced by
    // the model's, which already hold what the host set and the mouse changed) when it differs
    // from what the window shows. The meters fall back gently between peaks.
    void idle(const HqEditorPicture& picture) override;

    // The pixels the window shows now.
    const PixelCanvas& canvas() const noexcept { return canvas_; }

private:
    struct Connection;
    void handleEvents();

    std::unique_ptr<Connection> x_;
    std::uintptr_t window_ = 0;
    HqEditorModel model_;
    PixelCanvas canvas_;
    ShownPicture shown_;
    bool exposed_ = false;
};
