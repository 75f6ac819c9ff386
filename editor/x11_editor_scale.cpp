#include "x11_editor_scale.h"

#include "editor_scale.h"

#include <X11/Xlib.h>

namespace {

bool isBlank(char c) noexcept
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) noexcept
{
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// A decimal number of digits with at most one point; 0 for anything else. Long digit strings
// only grow towards infinity, which the caller takes as junk.
double decimalOf(std::string_view text) noexcept
{
    double value = 0.0;
    double place = 1.0;
    bool point = false;
    bool digits = false;
    for (const char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (point) {
                place /= 10.0;
                value += (c - '0') * place;
            } else {
                value = value * 10.0 + (c - '0');
            }
        } else {
            return 0.0;
        }
    }
    return digits ? value : 0.0;
}

// How tightly a resource name binds Xft's dpi: 3 for Xft.dpi, 2 for Xft*dpi, 1 for *dpi, else 0.
int bindingOf(std::string_view name) noexcept
{
    if (name == "Xft.dpi") {
        return 3;
    }
    if (name == "Xft*dpi") {
        return 2;
    }
    return name == "*dpi" ? 1 : 0;
}

} // namespace

double xftDpiFromResources(std::string_view resources) noexcept
{
    double dpi = 0.0;
    int tightest = 0;
    while (!resources.empty()) {
        const std::size_t end = resources.find('\n');
        const std::string_view line = resources.substr(0, end);
        resources.remove_prefix(end == std::string_view::npos ? resources.size() : end + 1);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const int binding = bindingOf(trimmed(line.substr(0, colon)));
        const double value = decimalOf(trimmed(line.substr(colon + 1)));
        // A later entry of the same binding replaces an earlier one, as in X's own database.
        if (binding > 0 && binding >= tightest && value > 0.0 && value <= 1e6) {
            dpi = value;
            tightest = binding;
        }
    }
    return dpi;
}

int x11EditorScale(int hostRequest) noexcept
{
    if (const int user = editorScaleOverride(); user != 0) {
        return user;
    }
    if (hostRequest >= 1 && hostRequest <= kMaxEditorScale) {
        return hostRequest;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return 1;
    }
    const char* resources = XResourceManagerString(display);
    const double dpi = resources != nullptr ? xftDpiFromResources(resources) : 0.0;
    XCloseDisplay(display);
    return dpi > 0.0 ? editorScaleFromDpi(dpi) : 1;
}
