// The HQ editor's mouse model driven by synthetic events: what each gesture tells the host.
#include "hq_editor_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Call {
    char kind; // 'b'egin, 'c'hange, 'e'nd
    std::int32_t control;
    float value;
};

class Recorder : public HqEditorListener {
public:
    void beginEdit(std::int32_t control) override { calls.push_back({'b', control, 0.0f}); }
    void changeValue(std::int32_t control, float value) override { calls.push_back({'c', control, value}); }
    void endEdit(std::int32_t control) override { calls.push_back({'e', control, 0.0f}); }
    std::vector<Call> calls;
};

// The centre of a widget's knob, or of a selector's segment, in pixels at scale.
HqPointer at(int widget, int scale, int segment = 0, std::uint32_t timeMs = 0)
{
    const PixelRect cell = scaled(kHqEditorWidgets[widget].cell, scale);
    if (kHqEditorWidgets[widget].kind == HqWidgetKind::selector) {
        return {cell.x + cell.width * (2 * segment + 1) / 10, cell.y + (kSelectorTop + 4) * scale, false, timeMs};
    }
    return {cell.x + cell.width / 2, cell.y + kKnobCentreY * scale, false, timeMs};
}

// One gesture: begin, changes and end, all of one control, the last change the model's value.
void expectOneGesture(const std::vector<Call>& calls, std::int32_t control, const HqEditorModel& model)
{
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front().kind, 'b');
    EXPECT_EQ(calls.back().kind, 'e');
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].control, control) << "call " << i;
        if (i > 0 && i + 1 < calls.size()) {
            EXPECT_EQ(calls[i].kind, 'c') << "call " << i;
        }
    }
    EXPECT_EQ(calls[calls.size() - 2].value, model.value(control));
}

struct DragCase {
    const char* name;
    int widget;
    int rise;  // pixels up at scale 1, in steps of 5
    bool fine; // Shift held
    float expected;
};

} // namespace

TEST(HqEditorModel, VerticalDragMovesTheKnobByItsSpeedInOneGesture)
{
    const DragCase cases[] = {
        {"boost up half the range", 0, 100, false, 6.0f},
        {"boost with Shift a tenth as far", 0, 100, true, 1.5f},
        {"knee down to its end and held there", 1, -150, false, 0.0f},
        {"output up a quarter", 3, 50, false, 12.0f},
    };
    for (const DragCase& c : cases) {
        for (const int scale : {1, 2, 3, 4}) {
            SCOPED_TRACE(std::string(c.name) + " at scale " + std::to_string(scale));
            Recorder host;
            HqEditorModel model(host, scale);
            HqPointer pointer = at(c.widget, scale);
            pointer.fine = c.fine;
            model.press(pointer);
            const int steps = (c.rise < 0 ? -c.rise : c.rise) / 5;
            for (int i = 0; i < steps; ++i) {
                pointer.y -= (c.rise < 0 ? -5 : 5) * scale;
                model.move(pointer);
            }
            model.release(pointer);
            const std::int32_t control = kHqEditorWidgets[c.widget].control;
            EXPECT_FLOAT_EQ(model.value(control), c.expected);
            expectOneGesture(host.calls, control, model);
            // A move that reaches the end of the range and stays there changes nothing more.
            EXPECT_LE(host.calls.size(), static_cast<std::size_t>(steps) + 2);
        }
    }
}

TEST(HqEditorModel, DoubleClickResetsAndWheelStepsAndSelectorClickSelects)
{
    Recorder host;
    HqEditorModel model(host, 1);
    model.setValue(kHqControlKnee, 0.9f);
    model.press(at(1, 1, 0, 1000));
    model.release(at(1, 1, 0, 1100));
    EXPECT_TRUE(host.calls.empty()) << "a click alone changes nothing";
    model.press(at(1, 1, 0, 1300));
    model.release(at(1, 1, 0, 1350));
    EXPECT_FLOAT_EQ(model.value(kHqControlKnee), 0.5f);
    expectOneGesture(host.calls, kHqControlKnee, model);

    // Too slow for a double click: nothing.
    host.calls.clear();
    model.setValue(kHqControlKnee, 0.9f);
    model.press(at(1, 1, 0, 5000));
    model.release(at(1, 1, 0, 5000));
    model.press(at(1, 1, 0, 5401));
    model.release(at(1, 1, 0, 5401));
    EXPECT_TRUE(host.calls.empty());

    host.calls.clear();
    model.wheel(at(4, 1), -1);
    EXPECT_FLOAT_EQ(model.value(kHqControlMix), 99.0f);
    expectOneGesture(host.calls, kHqControlMix, model);

    host.calls.clear();
    HqPointer fine = at(4, 1);
    fine.fine = true;
    model.wheel(fine, -3);
    EXPECT_FLOAT_EQ(model.value(kHqControlMix), 98.7f);

    host.calls.clear();
    model.wheel(at(5, 1), 1);
    EXPECT_FLOAT_EQ(model.value(kHqControlQuality), 4.0f) << "one notch is one step";
    expectOneGesture(host.calls, kHqControlQuality, model);

    host.calls.clear();
    model.press(at(5, 1, 1));
    model.move(at(5, 1, 0));
    model.release(at(5, 1, 0));
    EXPECT_FLOAT_EQ(model.value(kHqControlQuality), 0.0f);
    ASSERT_EQ(host.calls.size(), 4u) << "begin, 2x, 1x, end";
    EXPECT_EQ(host.calls[1].value, 1.0f);
    expectOneGesture(host.calls, kHqControlQuality, model);
}

TEST(HqEditorModel, ValueTheHostSetsIsShownAndHeldToItsRange)
{
    Recorder host;
    HqEditorModel model(host, 1);
    model.setValue(kHqControlOutput, -7.5f);
    EXPECT_FLOAT_EQ(model.value(kHqControlOutput), -7.5f);
    model.setValue(kHqControlBoost, 40.0f);
    EXPECT_FLOAT_EQ(model.value(kHqControlBoost), 11.0f);
    EXPECT_TRUE(host.calls.empty());
}
