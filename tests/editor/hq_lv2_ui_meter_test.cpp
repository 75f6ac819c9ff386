// The LV2 UI in one process with the plug-in, as jalv runs them: with the host's
// instance-access and data-access features its meters show the peaks of the audio the plug-in
// ran, as the drawing core draws them; without them they stay empty. Through the options feature
// it takes the host's scale and sample rate.
#include "hq_editor_view.h"
#include "hq_lv2_ports.h"
#include "x_display.h"

// Before Xlib, whose None and Bool macros would rename gtest's own.
#include <gtest/gtest.h>

#include "host_window.h" // after gtest, as it brings Xlib
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/data-access/data-access.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const void* (*pluginExtensionData)(const char*) = nullptr;

const void* dataAccess(const char* uri)
{
    return pluginExtensionData(uri);
}

void ignoreWrite(LV2UI_Controller, std::uint32_t, std::uint32_t, std::uint32_t, const void*)
{
}

// The input meter's pixels as the window shows them, after one idle call of a UI made with or
// without the features that reach the plug-in's instance.
std::vector<unsigned long> inputMeterShown(Display* x, Window parent, const LV2UI_Descriptor* ui, LV2_Handle instance,
                                           bool reach)
{
    LV2_Extension_Data_Feature access{dataAccess};
    const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parent)};
    const LV2_Feature instanceFeature{LV2_INSTANCE_ACCESS_URI, instance};
    const LV2_Feature accessFeature{LV2_DATA_ACCESS_URI, &access};
    const LV2_Feature* with[] = {&parentFeature, &instanceFeature, &accessFeature, nullptr};
    const LV2_Feature* without[] = {&parentFeature, nullptr};
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle handle = ui->instantiate(ui, "urn:softkneeshaper:lv2:hq", HQ_LV2_BUNDLE, ignoreWrite, nullptr, &widget,
                                          reach ? with : without);
    EXPECT_NE(handle, nullptr);
    if (handle == nullptr) {
        return {};
    }
    static_cast<const LV2UI_Idle_Interface*>(ui->extension_data(LV2_UI__idleInterface))->idle(handle);
    const PixelRect meter = kHqInputMeter;
    XImage* image = XGetImage(x, parent, meter.x, meter.y, static_cast<unsigned>(meter.width),
                              static_cast<unsigned>(meter.height), AllPlanes, ZPixmap);
    std::vector<unsigned long> pixels;
    for (int y = 0; y < meter.height; ++y) {
        for (int column = 0; column < meter.width; ++column) {
            pixels.push_back(XGetPixel(image, column, y) & 0xffffffu);
        }
    }
    XDestroyImage(image);
    ui->cleanup(handle);
    return pixels;
}

std::vector<unsigned long> inputMeterDrawn(float peak)
{
    HqEditorPicture picture = initialHqEditorPicture();
    picture.inputPeak = peak;
    PixelCanvas canvas(kHqEditorWidth, kHqEditorHeight);
    drawHqEditor(canvas, picture, 1);
    std::vector<unsigned long> pixels;
    for (int y = kHqInputMeter.y; y < kHqInputMeter.y + kHqInputMeter.height; ++y) {
        for (int x = kHqInputMeter.x; x < kHqInputMeter.x + kHqInputMeter.width; ++x) {
            pixels.push_back(canvas.at(x, y));
        }
    }
    return pixels;
}

// URIs mapped to their place in a list, from 1.
std::vector<std::string> mapped;
LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri)
{
    if (std::find(mapped.begin(), mapped.end(), uri) == mapped.end()) {
        mapped.emplace_back(uri);
    }
    return static_cast<LV2_URID>(std::find(mapped.begin(), mapped.end(), uri) - mapped.begin() + 1);
}

} // namespace

// A UI that left the host's options unread would open at scale 1 and show the latency at 48 kHz.
TEST(HqLv2UiOptions, UiIsDrawnAtTheHostsScaleFactorAndShowsLatencyAtItsSampleRate)
{
    XDisplay server;
    ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
    const HostWindow hostWindow(kHqEditorWidth * 2, kHqEditorHeight * 2);
    ASSERT_NE(hostWindow.display(), nullptr);
    void* uiLibrary = dlopen(HQ_LV2_BUNDLE "/SoftKneeShaperHQ_ui.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(uiLibrary, nullptr) << dlerror();
    const auto* ui = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(uiLibrary, "lv2ui_descriptor"))(0);

    LV2_URID_Map uridMap{nullptr, mapUri};
    const auto map = [](const char* uri) { return mapUri(nullptr, uri); };
    const float sampleRate = 96000.0f;
    const double scaleFactor = 2.0; // as a double, which a host may choose over a float
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, map(LV2_PARAMETERS__sampleRate), 4, map(LV2_ATOM__Float), &sampleRate},
        {LV2_OPTIONS_INSTANCE, 0, map(LV2_UI__scaleFactor), 8, map(LV2_ATOM__Double), &scaleFactor},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(hostWindow.window())};
    const LV2_Feature mapFeature{LV2_URID__map, &uridMap};
    const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* features[] = {&parentFeature, &mapFeature, &optionsFeature, nullptr};
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle handle =
        ui->instantiate(ui, "urn:softkneeshaper:lv2:hq", HQ_LV2_BUNDLE, ignoreWrite, nullptr, &widget, features);
    ASSERT_NE(handle, nullptr);
    static_cast<const LV2UI_Idle_Interface*>(ui->extension_data(LV2_UI__idleInterface))->idle(handle);

    HqEditorPicture picture = initialHqEditorPicture();
    picture.sampleRate = sampleRate;
    PixelCanvas expected(kHqEditorWidth * 2, kHqEditorHeight * 2);
    drawHqEditor(expected, picture, 2);
    XImage* image = XGetImage(hostWindow.display(), hostWindow.window(), 0, 0, static_cast<unsigned>(expected.width()),
                              static_cast<unsigned>(expected.height()), AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    std::size_t differing = 0;
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            differing += (XGetPixel(image, x, y) & 0xffffffu) != expected.at(x, y) ? 1 : 0;
        }
    }
    XDestroyImage(image);
    EXPECT_EQ(differing, 0u) << "pixels unlike the core's at scale 2 and 96 kHz";
    ui->cleanup(handle);
    dlclose(uiLibrary);
}

TEST(HqLv2UiMeters, ShowThePeakOfThePluginsAudioWhenTheHostLetsTheUiReachIt)
{
    XDisplay server;
    ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
    const HostWindow hostWindow(600, 320);
    Display* x = hostWindow.display();
    ASSERT_NE(x, nullptr);
    const Window parent = hostWindow.window();

    void* pluginLibrary = dlopen(HQ_LV2_BUNDLE "/SoftKneeShaperHQ.so", RTLD_NOW | RTLD_LOCAL);
    void* uiLibrary = dlopen(HQ_LV2_BUNDLE "/SoftKneeShaperHQ_ui.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(pluginLibrary, nullptr) << dlerror();
    ASSERT_NE(uiLibrary, nullptr) << dlerror();
    const auto* plugin = reinterpret_cast<LV2_Descriptor_Function>(dlsym(pluginLibrary, "lv2_descriptor"))(0);
    const auto* ui = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(uiLibrary, "lv2ui_descriptor"))(0);
    pluginExtensionData = plugin->extension_data;

    // Every control at its initial value; a block of +-0.5, whose peak is 0.5 exactly.
    LV2_Handle instance = plugin->instantiate(plugin, 48000.0, HQ_LV2_BUNDLE "/", nullptr);
    ASSERT_NE(instance, nullptr);
    float controls[kHqControlCount];
    for (int i = 0; i < kHqControlCount; ++i) {
        controls[i] = kHqControls[i].range.initial;
        plugin->connect_port(instance, hqLv2PortOf(i), &controls[i]);
    }
    float enabled = 1.0f;
    plugin->connect_port(instance, kHqLv2Enabled, &enabled);
    std::vector<float> in(256), outLeft(256), outRight(256);
    for (std::size_t i = 0; i < in.size(); ++i) {
        in[i] = i % 2 == 0 ? 0.5f : -0.5f;
    }
    float latency = 0.0f;
    plugin->connect_port(instance, kHqLv2Latency, &latency);
    plugin->connect_port(instance, kHqLv2InLeft, in.data());
    plugin->connect_port(instance, kHqLv2InRight, in.data());
    plugin->connect_port(instance, kHqLv2OutLeft, outLeft.data());
    plugin->connect_port(instance, kHqLv2OutRight, outRight.data());
    plugin->activate(instance);

    plugin->run(instance, 256);
    EXPECT_EQ(inputMeterShown(x, parent, ui, instance, true), inputMeterDrawn(0.5f));
    plugin->run(instance, 256);
    EXPECT_EQ(inputMeterShown(x, parent, ui, instance, false), inputMeterDrawn(0.0f));
    EXPECT_NE(inputMeterDrawn(0.0f), inputMeterDrawn(0.5f));

    plugin->cleanup(instance);
    dlclose(uiLibrary);
    dlclose(pluginLibrary);
}
