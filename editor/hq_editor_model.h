// What the mouse does to the HQ editor's controls, apart from any window system: a platform
// turns its events into the calls below and hands the host what the listener receives.
//
// Knobs: a vertical drag moves the value by the whole range over kDragPixels pixels (Shift: a
// tenth of the speed), a double click sets the initial value, a wheel notch moves a hundredth
// of the range (Shift: a thousandth) or one step of a stepped control. Selector: a press, or a
// drag across, selects the segment under the pointer. Each gesture reaches the listener as
// begin, one change per event that moves the value, end, all for one control; a gesture that
// changes nothing sends nothing.
#pragma once

#include "hq_editor_layout.h"
#include "soft_knee_hq_controls.h"

#include <cstdint>

// [ui thread] The host side of the editor. Values are in the controls' own units.
class HqEditorListener {
public:
    virtual ~HqEditorListener() = default;
    virtual void beginEdit(std::int32_t control) = 0;
    virtual void changeValue(std::int32_t control, float value) = 0;
    virtual void endEdit(std::int32_t control) = 0;
};

struct HqPointer {
    int x, y;             // pixels in the editor at its scale
    bool fine;            // Shift held
    std::uint32_t timeMs; // the window system's event time, for double clicks
};

class HqEditorModel {
public:
    static constexpr int kDragPixels = 200; // at scale 1, a knob's whole range
    static constexpr std::uint32_t kDoubleClickMs = 400;
    static constexpr int kDoubleClickSlop = 4; // pixels at scale 1

    // A scale outside 1..kMaxEditorScale gives 1.
    HqEditorModel(HqEditorListener& listener, int scale) noexcept;

    // [ui thread] A value the host set, shown from now on; one out of range is held to it.
    void setValue(std::int32_t control, float value) noexcept;
    float value(std::int32_t control) const noexcept { return values_[control]; }
    const float* values() const noexcept { return values_; }
    int scale() const noexcept { return scale_; }

    // [ui thread] Button one, and the wheel by notches (up positive).
    void press(const HqPointer& pointer) noexcept;
    void move(const HqPointer& pointer) noexcept;
    void release(const HqPointer& pointer) noexcept;
    void wheel(const HqPointer& pointer, int notches) noexcept;

private:
    // Moves a control to value, beginning the gesture with its first change.
    void change(std::int32_t control, float value) noexcept;
    void finishGesture() noexcept;

    HqEditorListener& listener_;
    int scale_;
    float values_[kHqControlCount];

    int widget_ = -1; // the widget under a held button, or -1
    bool gestureOpen_ = false;
    double position_ = 0.0; // the dragged knob's host value, 0..1, unrounded
    int lastY_ = 0;

    int lastPressWidget_ = -1;
    HqPointer lastPress_{};
};
