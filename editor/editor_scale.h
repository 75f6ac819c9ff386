// The whole scale the editor draws at: every length in the picture times it, text rasterised for
// it, so that a high-density screen shows the editor sharp at its usual size. Each target asks the
// user, the host and the platform in that order; these are the parts that know no platform.
#pragma once

// The largest scale the drawing core draws at; its font is baked for each scale up to it.
inline constexpr int kMaxEditorScale = 4;

// The whole scale the editor draws at for a screen of dpi dots per inch: 96 gives 1, 192 gives 2,
// rounded to the nearest whole scale, limited to 1..kMaxEditorScale; a dpi that is not a positive
// finite number gives 1.
int editorScaleFromDpi(double dpi) noexcept;

// The user's override, SOFTKNEESHAPER_EDITOR_SCALE in the process environment, when it is a whole
// number from 1 to kMaxEditorScale; 0 otherwise (unset, empty, junk, out of range).
int editorScaleOverride() noexcept;
