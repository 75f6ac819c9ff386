// SoftKneeShaper HQ's LV2 user interface: the editor's drawing core in an X11 window inside the
// host's (ui:X11UI), as the VST module shows it. Control values arrive as port events and leave
// through the host's write function, each mouse gesture between touch calls when the host
// offers ui:touch; the window asks the host for its size when the host offers ui:resize. The
// host drives everything through the idle interface, on its user-interface thread. Through the
// options feature the host may ask for a scale (ui:scaleFactor) and tell the sample rate, which
// the latency beside Quality is shown at.
#include "editor_scale.h"
#include "hq_lv2_meters.h"
#include "hq_lv2_ports.h"
#include "ui_host_options.h"
#include "x11_editor_scale.h"
#include "x11_editor_window.h"

#include <lv2/core/lv2.h>
#include <lv2/data-access/data-access.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace {

class HqUi : public HqEditorListener {
public:
    HqUi(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch)
        : write_(write), controller_(controller), touch_(touch), picture_(initialHqEditorPicture())
    {
    }

    // [ui thread] Opens the window in parent at what the host asked for, or the user or the
    // display where they say otherwise; false when it cannot be opened.
    bool open(std::uintptr_t parent, const UiHostOptions& options)
    {
        if (options.sampleRate > 0.0) {
            picture_.sampleRate = options.sampleRate;
        }
        // A host's factor between whole scales is rounded as a screen's density is.
        const int requested = options.scaleFactor > 0.0 ? editorScaleFromDpi(96.0 * options.scaleFactor) : 0;
        window_ = std::make_unique<X11EditorWindow>(parent, *this, x11EditorScale(requested));
        return window_->isOpen();
    }

    X11EditorWindow& window() { return *window_; }

    // [ui thread] A control's new value from the host.
    void portEvent(std::uint32_t port, float value)
    {
        // The latency the plug-in reports is no control: a port's number is not its control's index.
        const std::int32_t control = hqLv2ControlOf(port);
        if (control >= 0) {
            picture_.values[control] = value;
        }
    }

    // [ui thread] The plug-in's meters, when the host lets the UI reach its instance.
    void reachMeters(LV2_Handle instance, const HqLv2Meters* meters)
    {
        instance_ = instance;
        meters_ = instance != nullptr ? meters : nullptr;
    }

    void idle()
    {
        if (meters_ != nullptr) {
            picture_.inputPeak = meters_->input(instance_)->take();
            picture_.outputPeak = meters_->output(instance_)->take();
        }
        window_->idle(picture_);
    }

    void beginEdit(std::int32_t control) override
    {
        if (touch_ != nullptr) {
            touch_->touch(touch_->handle, hqLv2PortOf(control), true);
        }
    }

    void changeValue(std::int32_t control, float value) override
    {
        picture_.values[control] = value;
        write_(controller_, hqLv2PortOf(control), sizeof value, 0, &value);
    }

    void endEdit(std::int32_t control) override
    {
        if (touch_ != nullptr) {
            touch_->touch(touch_->handle, hqLv2PortOf(control), false);
        }
    }

private:
    LV2UI_Write_Function write_;
    LV2UI_Controller controller_;
    const LV2UI_Touch* touch_;
    HqEditorPicture picture_;
    std::unique_ptr<X11EditorWindow> window_;
    LV2_Handle instance_ = nullptr;
    const HqLv2Meters* meters_ = nullptr;
};

const void* feature(const LV2_Feature* const* features, const char* uri)
{
    for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f) {
        if (std::strcmp((*f)->URI, uri) == 0) {
            return (*f)->data;
        }
    }
    return nullptr;
}

// [ui thread] Needs ui:parent; without it, or without a display, there is no UI.
LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features)
{
    const void* parent = feature(features, LV2_UI__parent);
    if (parent == nullptr || write == nullptr) {
        return nullptr;
    }
    auto* ui =
        new (std::nothrow) HqUi(write, controller, static_cast<const LV2UI_Touch*>(feature(features, LV2_UI__touch)));
    if (ui == nullptr) {
        return nullptr;
    }
    if (!ui->open(reinterpret_cast<std::uintptr_t>(parent), readUiHostOptions(features))) {
        delete ui;
        return nullptr;
    }
    *widget = reinterpret_cast<LV2UI_Widget>(ui->window().window());
    const auto* access = static_cast<const LV2_Extension_Data_Feature*>(feature(features, LV2_DATA_ACCESS_URI));
    if (access != nullptr && access->data_access != nullptr) {
        ui->reachMeters(const_cast<void*>(feature(features, LV2_INSTANCE_ACCESS_URI)),
                        static_cast<const HqLv2Meters*>(access->data_access(kHqLv2MetersUri)));
    }
    if (const auto* resize = static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize))) {
        resize->ui_resize(resize->handle, ui->window().width(), ui->window().height());
    }
    return ui;
}

// [ui thread]
void cleanup(LV2UI_Handle handle)
{
    delete static_cast<HqUi*>(handle);
}

// [ui thread] Control ports carry one float (format 0); anything else is not for this UI.
void portEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer)
{
    if (format == 0 && size == sizeof(float) && buffer != nullptr) {
        float value;
        std::memcpy(&value, buffer, sizeof value);
        static_cast<HqUi*>(handle)->portEvent(port, value);
    }
}

// [ui thread] Reads the mouse and draws; the window never closes itself, so always 0.
int idle(LV2UI_Handle handle)
{
    static_cast<HqUi*>(handle)->idle();
    return 0;
}

const void* extensionData(const char* uri)
{
    static const LV2UI_Idle_Interface idleInterface{idle};
    return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &idleInterface : nullptr;
}

const LV2UI_Descriptor kDescriptor{kHqLv2UiUri, instantiate, cleanup, portEvent, extensionData};

} // namespace

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index)
{
    return index == 0 ? &kDescriptor : nullptr;
}
