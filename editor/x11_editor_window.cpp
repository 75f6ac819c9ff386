#include "x11_editor_window.h"

#include "x11_editor_scale.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// X reports a request that failed (a parent window that is gone) to a handler for the whole
// process. While the window is made, a handler of ours only notes it; the host's comes back after.
bool requestFailed = false;

int noteFailure(Display*, XErrorEvent*)
{
    requestFailed = true;
    return 0;
}

} // namespace

struct X11EditorWindow::Connection {
    Display* display = nullptr;
    GC gc = nullptr;
    XImage* image = nullptr;
};

X11EditorWindow::X11EditorWindow(std::uintptr_t parent, HqEditorListener& listener, int scale)
    : x_(std::make_unique<Connection>()), model_(listener, scale),
      canvas_(kHqEditorWidth * model_.scale(), kHqEditorHeight * model_.scale())
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr || parent == 0) {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
        return;
    }
    x_->display = display;
    const int screen = DefaultScreen(display);
    XSync(display, False);
    requestFailed = false;
    const auto hostHandler = XSetErrorHandler(noteFailure);
    const Window window = XCreateSimpleWindow(display, static_cast<Window>(parent), 0, 0,
                                              static_cast<unsigned>(width()), static_cast<unsigned>(height()), 0,
                                              BlackPixel(display, screen), BlackPixel(display, screen));
    XSelectInput(display, window,
                 ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | StructureNotifyMask);
    XMapWindow(display, window);
    XSync(display, False);
    XSetErrorHandler(hostHandler);
    if (requestFailed) {
        XCloseDisplay(display);
        x_->display = nullptr;
        return;
    }
    window_ = window;
    x_->gc = XCreateGC(display, window, 0, nullptr);
    // The image points into the canvas; its pixels are 32-bit 0x00RRGGBB words, as a
    // TrueColor visual of depth 24 takes them.
    x_->image =
        XCreateImage(display, DefaultVisual(display, screen), static_cast<unsigned>(DefaultDepth(display, screen)),
                     ZPixmap, 0, reinterpret_cast<char*>(const_cast<Colour*>(canvas_.pixels().data())),
                     static_cast<unsigned>(width()), static_cast<unsigned>(height()), 32, width() * 4);
    exposed_ = true;
}

X11EditorWindow::~X11EditorWindow()
{
    if (x_->display == nullptr) {
        return;
    }
    if (x_->image != nullptr) {
        x_->image->data = nullptr; // the canvas's, not X's to free
        XDestroyImage(x_->image);
    }
    if (x_->gc != nullptr) {
        XFreeGC(x_->display, x_->gc);
    }
    if (window_ != 0) {
        XDestroyWindow(x_->display, static_cast<Window>(window_));
    }
    XCloseDisplay(x_->display);
}

void X11EditorWindow::handleEvents()
{
    Display* display = x_->display;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        switch (event.type) {
        case Expose:
            exposed_ = true;
            break;
        case ButtonPress: {
            const HqPointer pointer{event.xbutton.x, event.xbutton.y, (event.xbutton.state & ShiftMask) != 0,
                                    static_cast<std::uint32_t>(event.xbutton.time)};
            if (event.xbutton.button == Button1) {
                model_.press(pointer);
            } else if (event.xbutton.button == Button4 || event.xbutton.button == Button5) {
                model_.wheel(pointer, event.xbutton.button == Button4 ? 1 : -1);
            }
            break;
        }
        case ButtonRelease:
            if (event.xbutton.button == Button1) {
                model_.release({event.xbutton.x, event.xbutton.y, (event.xbutton.state & ShiftMask) != 0,
                                static_cast<std::uint32_t>(event.xbutton.time)});
            }
            break;
        case MotionNotify:
            if ((event.xmotion.state & Button1Mask) != 0) {
                model_.move({event.xmotion.x, event.xmotion.y, (event.xmotion.state & ShiftMask) != 0,
                             static_cast<std::uint32_t>(event.xmotion.time)});
            }
            break;
        default:
            break;
        }
    }
}

void X11EditorWindow::idle(const HqEditorPicture& picture)
{
    if (!isOpen()) {
        return;
    }
    for (std::int32_t control = 0; control < kHqControlCount; ++control) {
        model_.setValue(control, picture.values[control]);
    }
    handleEvents();
    const bool changed = shown_.update(picture, model_, canvas_);
    if (changed || exposed_) {
        XPutImage(x_->display, static_cast<Window>(window_), x_->gc, x_->image, 0, 0, 0, 0,
                  static_cast<unsigned>(width()), static_cast<unsigned>(height()));
        // Waits until the server holds the picture, so that a host that reads the window's
        // pixels on its own connection after this call sees them.
        XSync(x_->display, False);
        exposed_ = false;
    }
}

int editorWindowScale(void*) noexcept
{
    // The VST format has no way for a host to ask for a scale: the user's override or the display's.
    return x11EditorScale(0);
}

std::unique_ptr<EditorWindow> openEditorWindow(void* parent, HqEditorListener& listener, int scale,
                                               std::function<void()>)
{
    // X11 sends nothing unasked, so the host's idle calls are the window's only clock.
    auto window = std::make_unique<X11EditorWindow>(reinterpret_cast<std::uintptr_t>(parent), listener, scale);
    if (!window->isOpen()) {
        return nullptr;
    }
    return window;
}
