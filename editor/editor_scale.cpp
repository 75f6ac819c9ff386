#include "editor_scale.h"

#include <cmath>
#include <cstdlib>

int editorScaleFromDpi(double dpi) noexcept
{
    if (!std::isfinite(dpi) || dpi <= 0.0) {
        return 1;
    }
    // Halfway between two scales goes up: 144 dpi is meant to be read at 1.5, and text one and
    // a half times too small is worse than a window a third too large.
    const double nearest = dpi / 96.0 + 0.5;
    if (nearest >= kMaxEditorScale) {
        return kMaxEditorScale;
    }
    return nearest < 1.0 ? 1 : static_cast<int>(nearest);
}

int editorScaleOverride() noexcept
{
    const char* text = std::getenv("SOFTKNEESHAPER_EDITOR_SCALE");
    if (text == nullptr || *text == '\0') {
        return 0;
    }
    // Digits only: no sign, no spaces, no fraction. Stops counting once past the largest scale,
    // so that a long number cannot overflow.
    int scale = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return 0;
        }
        scale = scale * 10 + (*c - '0');
        if (scale > kMaxEditorScale) {
            return 0;
        }
    }
    return scale >= 1 ? scale : 0;
}
