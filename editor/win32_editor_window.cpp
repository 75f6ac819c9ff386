#include "win32_editor_window.h"

#include "editor_scale.h"

#include <windows.h>
#include <windowsx.h>

namespace {

constexpr wchar_t kClassName[] = L"SoftKneeShaperHQEditor";
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerMs = 30;
constexpr double kBaseDpi = 96.0;

// Guards registering, unregistering and making windows of the class; it needs no initialisation
// at run time, so no thread can see it half made.
SRWLOCK classLock = SRWLOCK_INIT;

// The module this code is linked into, whose instance handle owns the window class.
HINSTANCE thisModule() noexcept
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

// A function of USER32 that older Windows lacks, looked up by name.
template <typename Function> Function user32Function(const char* name) noexcept
{
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                             : nullptr;
}

} // namespace

struct Win32EditorWindow::Messages {
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static HqPointer pointerAt(int x, int y, WPARAM wParam) noexcept
    {
        return {x, y, (wParam & MK_SHIFT) != 0, static_cast<std::uint32_t>(GetMessageTime())};
    }
    static void endDrag(Win32EditorWindow& self, const HqPointer& pointer) noexcept
    {
        if (self.dragging_) {
            self.dragging_ = false;
            self.model_.release(pointer);
        }
    }
};

LRESULT CALLBACK Win32EditorWindow::Messages::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32EditorWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = self->canvas_.width();
        info.bmiHeader.biHeight = -self->canvas_.height(); // rows from the top, as the canvas holds them
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32; // 0x00RRGGBB words, the canvas's pixels as they are
        info.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(
            dc, 0, 0, static_cast<DWORD>(self->canvas_.width()), static_cast<DWORD>(self->canvas_.height()), 0, 0, 0,
            static_cast<UINT>(self->canvas_.height()), self->canvas_.pixels().data(), &info, DIB_RGB_COLORS);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // the picture covers the whole window
    case WM_LBUTTONDOWN:
        self->lastPointer_ = pointerAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), wParam);
        SetCapture(window);
        self->dragging_ = true;
        self->model_.press(self->lastPointer_);
        break;
    case WM_MOUSEMOVE:
        if (self->dragging_) {
            self->lastPointer_ = pointerAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), wParam);
            self->model_.move(self->lastPointer_);
        }
        break;
    case WM_LBUTTONUP:
        endDrag(*self, pointerAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), wParam));
        ReleaseCapture();
        break;
    case WM_CAPTURECHANGED:
        // Another window took the mouse during a drag: the gesture ends where it was.
        endDrag(*self, self->lastPointer_);
        return 0;
    case WM_MOUSEWHEEL: {
        POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; // on the screen
        ScreenToClient(window, &at);
        self->wheelRemainder_ += GET_WHEEL_DELTA_WPARAM(wParam);
        const int notches = self->wheelRemainder_ / WHEEL_DELTA;
        self->wheelRemainder_ -= notches * WHEEL_DELTA;
        if (notches != 0) {
            self->model_.wheel(pointerAt(at.x, at.y, GET_KEYSTATE_WPARAM(wParam)), notches);
        }
        break;
    }
    case WM_TIMER:
        if (wParam != kTimerId) {
            return DefWindowProcW(window, message, wParam, lParam);
        }
        break;
    case WM_NCDESTROY:
        // Also when the host destroys its window before closing the editor.
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        self->dragging_ = false;
        return DefWindowProcW(window, message, wParam, lParam);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // A mouse message or the timer: the owner shows what changed now.
    if (self->tick_) {
        self->tick_();
    }
    return 0;
}

Win32EditorWindow::Win32EditorWindow(void* parent, HqEditorListener& listener, int scale, std::function<void()> tick)
    : model_(listener, scale), canvas_(kHqEditorWidth * model_.scale(), kHqEditorHeight * model_.scale()),
      tick_(std::move(tick))
{
    const HWND host = static_cast<HWND>(parent);
    if (host == nullptr || IsWindow(host) == FALSE) {
        return;
    }
    const HINSTANCE module = thisModule();
    AcquireSRWLockExclusive(&classLock);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    // No CS_DBLCLKS: the model tells a double click from two presses itself, as on X11.
    windowClass.lpfnWndProc = &Messages::procedure;
    windowClass.hInstance = module;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.lpszClassName = kClassName;
    const bool registered = RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    HWND window = registered ? CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                                               canvas_.width(), canvas_.height(), host, nullptr, module, this)
                             : nullptr;
    if (window == nullptr && registered) {
        UnregisterClassW(kClassName, module); // fails, as it should, while other editors are open
    }
    ReleaseSRWLockExclusive(&classLock);
    if (window == nullptr) {
        return;
    }
    window_ = window;
    SetTimer(window, kTimerId, kTimerMs, nullptr);
}

Win32EditorWindow::~Win32EditorWindow()
{
    const HINSTANCE module = thisModule();
    AcquireSRWLockExclusive(&classLock);
    if (window_ != nullptr) {
        const HWND window = static_cast<HWND>(window_);
        KillTimer(window, kTimerId);
        DestroyWindow(window); // WM_NCDESTROY forgets the window
    }
    UnregisterClassW(kClassName, module);
    ReleaseSRWLockExclusive(&classLock);
}

void Win32EditorWindow::idle(const HqEditorPicture& picture)
{
    if (!isOpen()) {
        return;
    }
    for (std::int32_t control = 0; control < kHqControlCount; ++control) {
        model_.setValue(control, picture.values[control]);
    }
    if (shown_.update(picture, model_, canvas_)) {
        const HWND window = static_cast<HWND>(window_);
        InvalidateRect(window, nullptr, FALSE);
        UpdateWindow(window);
    }
}

int Win32EditorWindow::scaleFor(void* parent) noexcept
{
    if (const int chosen = editorScaleOverride(); chosen > 0) {
        return chosen;
    }
    using DpiForWindow = UINT(WINAPI*)(HWND);
    using DpiForSystem = UINT(WINAPI*)();
    UINT dpi = 0;
    if (parent != nullptr) {
        if (const auto forWindow = user32Function<DpiForWindow>("GetDpiForWindow")) {
            dpi = forWindow(static_cast<HWND>(parent));
        }
    } else if (const auto forSystem = user32Function<DpiForSystem>("GetDpiForSystem")) {
        dpi = forSystem();
    }
    return dpi > 0 ? editorScaleFromDpi(static_cast<double>(dpi)) : 1;
}

int editorWindowScale(void* parent) noexcept
{
    return Win32EditorWindow::scaleFor(parent);
}

std::unique_ptr<EditorWindow> openEditorWindow(void* parent, HqEditorListener& listener, int scale,
                                               std::function<void()> tick)
{
    auto window = std::make_unique<Win32EditorWindow>(parent, listener, scale, std::move(tick));
    if (!window->isOpen()) {
        return nullptr;
    }
    return window;
}
