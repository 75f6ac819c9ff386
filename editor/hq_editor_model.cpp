#include "hq_editor_model.h"

#include "editor_scale.h"
#include "hq_parameters.h"

namespace {

float heldToRange(std::int32_t control, float value) noexcept
{
    const HqControlRange& range = kHqControls[control].range;
    if (value != value) {
        return range.initial;
    }
    return value < range.minimum ? range.minimum : (value > range.maximum ? range.maximum : value);
}

double heldToUnit(double position) noexcept
{
    return position < 0.0 ? 0.0 : (position > 1.0 ? 1.0 : position);
}

int distance(int a, int b) noexcept
{
    return a > b ? a - b : b - a;
}

} // namespace

HqEditorModel::HqEditorModel(HqEditorListener& listener, int scale) noexcept
    : listener_(listener), scale_(scale >= 1 && scale <= kMaxEditorScale ? scale : 1), values_{}
{
    for (std::int32_t control = 0; control < kHqControlCount; ++control) {
        values_[control] = kHqControls[control].range.initial;
    }
}

void HqEditorModel::setValue(std::int32_t control, float value) noexcept
{
    if (control >= 0 && control < kHqControlCount) {
        values_[control] = heldToRange(control, value);
    }
}

void HqEditorModel::change(std::int32_t control, float value) noexcept
{
    if (value == values_[control]) {
        return;
    }
    if (!gestureOpen_) {
        listener_.beginEdit(control);
        gestureOpen_ = true;
    }
    values_[control] = value;
    listener_.changeValue(control, value);
}

void HqEditorModel::finishGesture() noexcept
{
    if (gestureOpen_ && widget_ >= 0) {
        listener_.endEdit(kHqEditorWidgets[widget_].control);
    }
    gestureOpen_ = false;
    widget_ = -1;
}

void HqEditorModel::press(const HqPointer& pointer) noexcept
{
    finishGesture();
    const int widget = hqWidgetAt(pointer.x, pointer.y, scale_);
    if (widget < 0) {
        lastPressWidget_ = -1;
        return;
    }
    const HqEditorWidget& w = kHqEditorWidgets[widget];
    const std::int32_t control = w.control;
    const bool doubleClick = widget == lastPressWidget_ && pointer.timeMs - lastPress_.timeMs <= kDoubleClickMs &&
                             distance(pointer.x, lastPress_.x) <= kDoubleClickSlop * scale_ &&
                             distance(pointer.y, lastPress_.y) <= kDoubleClickSlop * scale_;
    lastPressWidget_ = widget;
    lastPress_ = pointer;
    widget_ = widget;
    if (w.kind == HqWidgetKind::selector) {
        const HqControlRange& range = kHqControls[control].range;
        const int steps = static_cast<int>(range.maximum - range.minimum) + 1;
        change(control, range.minimum + static_cast<float>(hqSegmentAt(w, pointer.x, scale_, steps)));
        return;
    }
    if (doubleClick) {
        // The second press of a double click resets, and the rest of it moves nothing.
        change(control, kHqControls[control].range.initial);
        finishGesture();
        lastPressWidget_ = -1;
        return;
    }
    position_ = hqNormalisedFromValue(control, values_[control]);
    lastY_ = pointer.y;
}

void HqEditorModel::move(const HqPointer& pointer) noexcept
{
    if (widget_ < 0) {
        return;
    }
    const HqEditorWidget& w = kHqEditorWidgets[widget_];
    if (w.kind == HqWidgetKind::selector) {
        const HqControlRange& range = kHqControls[w.control].range;
        const int steps = static_cast<int>(range.maximum - range.minimum) + 1;
        change(w.control, range.minimum + static_cast<float>(hqSegmentAt(w, pointer.x, scale_, steps)));
        return;
    }
    // Up raises the value; Shift, pressed or let go during the drag, changes the speed from here on.
    const int rise = lastY_ - pointer.y;
    const double pixels = static_cast<double>(kDragPixels * scale_) * (pointer.fine ? 10.0 : 1.0);
    position_ = heldToUnit(position_ + rise / pixels);
    lastY_ = pointer.y;
    change(w.control, hqValueFromNormalised(w.control, static_cast<float>(position_)));
}

void HqEditorModel::release(const HqPointer& pointer) noexcept
{
    move(pointer);
    finishGesture();
}

void HqEditorModel::wheel(const HqPointer& pointer, int notches) noexcept
{
    finishGesture();
    const int widget = hqWidgetAt(pointer.x, pointer.y, scale_);
    if (widget < 0 || notches == 0) {
        return;
    }
    const std::int32_t control = kHqEditorWidgets[widget].control;
    widget_ = widget;
    if (kHqEditorWidgets[widget].kind == HqWidgetKind::selector) {
        change(control, heldToRange(control, values_[control] + static_cast<float>(notches)));
    } else {
        const double step = pointer.fine ? 0.001 : 0.01;
        const double position = heldToUnit(hqNormalisedFromValue(control, values_[control]) + notches * step);
        change(control, hqValueFromNormalised(control, static_cast<float>(position)));
    }
    finishGesture();
}
