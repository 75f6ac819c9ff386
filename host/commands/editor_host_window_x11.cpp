// `plughost editor` on Linux: plughost's window on the X display of DISPLAY, gestures through the
// X test extension, which moves the pointer and presses its button as a mouse would, the window's
// pixels read back from the X server, and the screenshot a PNG through cairo.
#include "editor_host_window.h"

#include "atomic_output.h"
#include "same_file.h"
#include "user_error.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>

namespace plughost {

struct HostWindow::State {
    Display* display = nullptr;
    Window window = 0;
    Atom deleteAtom = 0;
    bool closed = false;
};

// At the screen's top left.
HostWindow::HostWindow() : state(std::make_unique<State>())
{
    state->display = XOpenDisplay(nullptr);
    if (state->display == nullptr)
        throw UserError("cannot open the X display; set DISPLAY to a running X server");
    Display* display = state->display;
    state->window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 100, 100, 0, 0, 0);
    XStoreName(display, state->window, "plughost editor");
    state->deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, state->window, &state->deleteAtom, 1);
    XSelectInput(display, state->window, StructureNotifyMask);
}

HostWindow::~HostWindow()
{
    XDestroyWindow(state->display, state->window);
    XCloseDisplay(state->display);
}

std::uintptr_t HostWindow::id() const noexcept
{
    return static_cast<std::uintptr_t>(state->window);
}

void HostWindow::show(int width, int height)
{
    XResizeWindow(state->display, state->window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XMapRaised(state->display, state->window);
    XSync(state->display, False);
}

bool HostWindow::stillOpen()
{
    while (XPending(state->display) > 0) {
        XEvent event;
        XNextEvent(state->display, &event);
        if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == state->deleteAtom)
            state->closed = true;
    }
    return !state->closed;
}

std::string HostWindow::whyNoGestures()
{
    int event, error, major, minor;
    if (XTestQueryExtension(state->display, &event, &error, &major, &minor) != 0)
        return {};
    return "--drag needs the X test extension, which this X server lacks";
}

void HostWindow::pointer(int x, int y)
{
    Display* display = state->display;
    int rootX = 0, rootY = 0;
    Window child;
    XTranslateCoordinates(display, state->window, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, CurrentTime);
    XSync(display, False);
}

void HostWindow::button(bool down)
{
    XTestFakeButtonEvent(state->display, 1, down ? True : False, CurrentTime);
    XSync(state->display, False);
}

std::vector<std::uint32_t> HostWindow::pixels(int width, int height)
{
    XImage* image = XGetImage(state->display, state->window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr)
        throw UserError("cannot read the editor's pixels from the X server");
    std::vector<std::uint32_t> out(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xffffffu;
    XDestroyImage(image);
    return out;
}

const char* const kScreenshotExtension = ".png";

void refuseScreenshotOverModule(const std::string& path, const std::string& module)
{
    refuseOverwriting(path, module, "module");
}

void writeScreenshot(const std::string& path, const std::vector<std::uint32_t>& pixels, int width, int height)
{
    AtomicOutput output(path);
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(pixels.data())),
                                            CAIRO_FORMAT_RGB24, width, height, width * 4);
    const cairo_status_t status = cairo_surface_write_to_png(surface, output.path().c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
        throw UserError(path + ": cannot write the picture");
    output.commit();
}

} // namespace plughost
