// What an editor window shows: the host's picture with the model's values, which already hold
// what the host set and the mouse changed, and meters that fall back gently between peaks
// instead of dropping to each new reading. Every window system's window keeps one.
#pragma once

#include "hq_editor_model.h"
#include "hq_editor_view.h"
#include "pixel_canvas.h"

class ShownPicture {
public:
    // [ui thread] Takes the next picture and draws it into canvas at the model's scale when it
    // differs from the one drawn last; true when it drew.
    bool update(const HqEditorPicture& picture, const HqEditorModel& model, PixelCanvas& canvas);

private:
    HqEditorPicture shown_ = initialHqEditorPicture();
    bool drawn_ = false;
};
