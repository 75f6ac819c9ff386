// `plughost editor` on Windows: plughost's window is a top-level Win32 window whose messages, and
// the editor's, plughost dispatches itself; gestures go through SendInput as a mouse's would; the
// window's pixels are copied from its device context; the screenshot is a BMP (24 bits a pixel,
// rows from the bottom, as every reader takes it), written under a temporary name and renamed.
#include "editor_host_window.h"

#include "user_error.h"

#include <windows.h>

#include <cstdio>

namespace plughost {

namespace {

constexpr wchar_t kClassName[] = L"PlughostEditorHost";

LRESULT CALLBACK hostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 1); // closed by the user
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::string systemError()
{
    return "Windows error " + std::to_string(GetLastError());
}

} // namespace

struct HostWindow::State {
    HWND window = nullptr;
};

HostWindow::HostWindow() : state(std::make_unique<State>())
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = hostProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);
    // A popup at the screen's top left, so that its client area starts there, as on X11.
    state->window = CreateWindowExW(0, kClassName, L"plughost editor", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 100, 100,
                                    nullptr, nullptr, instance, nullptr);
    if (state->window == nullptr)
        throw UserError("cannot open a window (" + systemError() + "); is there a display?");
}

HostWindow::~HostWindow()
{
    DestroyWindow(state->window);
    UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
}

std::uintptr_t HostWindow::id() const noexcept
{
    return reinterpret_cast<std::uintptr_t>(state->window);
}

void HostWindow::show(int width, int height)
{
    SetWindowPos(state->window, HWND_TOP, 0, 0, width, height, SWP_SHOWWINDOW);
    SetForegroundWindow(state->window);
    UpdateWindow(state->window);
}

bool HostWindow::stillOpen()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return GetWindowLongPtrW(state->window, GWLP_USERDATA) == 0;
}

std::string HostWindow::whyNoGestures()
{
    return {};
}

void HostWindow::pointer(int x, int y)
{
    POINT at{x, y};
    ClientToScreen(state->window, &at);
    SetCursorPos(at.x, at.y);
    stillOpen();
}

void HostWindow::button(bool down)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &input, sizeof input);
    stillOpen();
}

std::vector<std::uint32_t> HostWindow::pixels(int width, int height)
{
    stillOpen();
    HDC windowDc = GetDC(state->window);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memoryDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    std::vector<std::uint32_t> out(static_cast<std::size_t>(width) * height);
    if (bitmap != nullptr) {
        HGDIOBJ previous = SelectObject(memoryDc, bitmap);
        copied = BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY) != FALSE;
        GdiFlush();
        const auto* words = static_cast<const std::uint32_t*>(bits);
        for (std::size_t i = 0; copied && i < out.size(); ++i)
            out[i] = words[i] & 0xffffffu;
        SelectObject(memoryDc, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memoryDc);
    ReleaseDC(state->window, windowDc);
    if (!copied)
        throw UserError("cannot read the editor's pixels from its window (" + systemError() + ")");
    return out;
}

const char* const kScreenshotExtension = ".bmp";

void refuseScreenshotOverModule(const std::string& path, const std::string& module)
{
    // One file when both names open to the same volume and file index.
    auto identity = [](const std::string& name, BY_HANDLE_FILE_INFORMATION& about) {
        HANDLE file = CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        const bool known = GetFileInformationByHandle(file, &about) != FALSE;
        CloseHandle(file);
        return known;
    };
    BY_HANDLE_FILE_INFORMATION output{}, input{};
    if (identity(path, output) && identity(module, input) &&
        output.dwVolumeSerialNumber == input.dwVolumeSerialNumber && output.nFileIndexHigh == input.nFileIndexHigh &&
        output.nFileIndexLow == input.nFileIndexLow)
        throw UserError(path + ": is the module itself; name another file for the screenshot");
}

void writeScreenshot(const std::string& path, const std::vector<std::uint32_t>& pixels, int width, int height)
{
    const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    file.bfType = 0x4d42; // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + imageBytes;
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height; // rows from the bottom
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = imageBytes;
    std::vector<unsigned char> data(imageBytes, 0);
    for (int y = 0; y < height; ++y) {
        unsigned char* row = data.data() + static_cast<std::size_t>(height - 1 - y) * rowBytes;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = pixels[static_cast<std::size_t>(y) * width + x];
            row[x * 3] = static_cast<unsigned char>(pixel);
            row[x * 3 + 1] = static_cast<unsigned char>(pixel >> 8);
            row[x * 3 + 2] = static_cast<unsigned char>(pixel >> 16);
        }
    }

    // Beside the target, so that the rename stays on one volume; an earlier file there is
    // replaced only by the complete new one.
    const std::string temporary = path + ".plughost-" + std::to_string(GetCurrentProcessId()) + ".tmp";
    HANDLE out = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        throw UserError(path + ": cannot write the picture there (" + systemError() + ")");
    auto put = [&](const void* bytes, DWORD count) {
        DWORD written = 0;
        return WriteFile(out, bytes, count, &written, nullptr) != FALSE && written == count;
    };
    const bool complete = put(&file, sizeof file) && put(&header, sizeof header) && put(data.data(), imageBytes) &&
                          FlushFileBuffers(out) != FALSE;
    CloseHandle(out);
    if (!complete ||
        MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == FALSE) {
        const std::string why = systemError();
        DeleteFileA(temporary.c_str());
        throw UserError(path + ": cannot write the picture (" + why + ")");
    }
}

} // namespace plughost
