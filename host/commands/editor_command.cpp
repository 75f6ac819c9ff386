// plughost editor: opens a plug-in's editor in a window of plughost's own, on the X display of
// DISPLAY, and drives it as a host does, calling its idle function about every 20 ms. Gestures
// given with --drag go through the window system as a mouse's would (the X test extension
// moves the pointer and presses its button), so the editor sees real events; every host call
// a gesture causes is recorded. --screenshot takes the window's pixels from the X server.
//
// A VST module's editor is opened through effEditOpen with the window as its parent; an LV2
// plug-in's X11 UI is loaded from its bundle and given the window through ui:parent, with
// ui:idleInterface, ui:resize, ui:touch and the options feature (the sample rate, and the scale
// --scale asks for). A VST module has no way to be asked for a scale: --scale sets this
// project's environment variable for its editor, SOFTKNEESHAPER_EDITOR_SCALE.
#include "audio_plugin.h"
#include "commands.h"
#include "host_callback.h"
#include "lv2_plugin.h"
#include "module.h"
#include "parameter_settings.h"

#include "atomic_output.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>
#include <dlfcn.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <nlohmann/json.hpp>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <thread>

namespace plughost {

namespace {

using Json = nlohmann::ordered_json;

constexpr auto kIdlePeriod = std::chrono::milliseconds(20);
constexpr int kDragStepPixels = 4;
// Rate given to a VST effect and to an LV2 UI that asks, so both show the same latency.
constexpr double kSampleRate = 48000.0;

// The host calls of the gesture under way, from either format's callbacks.
Json* recording = nullptr;

void record(Json call)
{
    if (recording != nullptr)
        recording->push_back(std::move(call));
}

void recordVstEdit(std::int32_t opcode, std::int32_t index, float value)
{
    if (opcode == audioMasterBeginEdit)
        record({"beginEdit", index});
    else if (opcode == audioMasterEndEdit)
        record({"endEdit", index});
    else
        record({"automate", index, value});
}

std::string folded(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// An editor as plughost drives it, whichever its format.
class HostedEditor {
public:
    virtual ~HostedEditor() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // [ui thread] opens the editor inside parent; throws UserError when it will not open.
    virtual void open(Window parent) = 0;
    virtual void idle() = 0;
    // The parameters' host values in index order.
    virtual Json parameters() const = 0;
};

class VstEditor final : public HostedEditor {
public:
    VstEditor(const std::string& path, const std::vector<std::string>& settings)
        : module(path), effect(module.makeEffect())
    {
        if ((effect.record().flags & effFlagsHasEditor) == 0)
            throw UserError(path + ": the module has no editor");
        applySettings(effect, resolveSettings(effect, settings));
        effect.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(kSampleRate));
        ERect* rect = nullptr;
        if (effect.dispatch(effEditGetRect, 0, 0, &rect) == 0 || rect == nullptr || rect->right <= rect->left ||
            rect->bottom <= rect->top)
            throw UserError(path + ": the module gives no size for its editor");
        w = rect->right - rect->left;
        h = rect->bottom - rect->top;
        setEditListener(recordVstEdit);
    }

    ~VstEditor() override
    {
        if (opened)
            effect.dispatch(effEditClose);
        setEditListener(nullptr);
    }

    int width() const override { return w; }
    int height() const override { return h; }

    void open(Window parent) override
    {
        if (effect.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)) == 0)
            throw UserError(module.path() + ": the module's editor did not open");
        opened = true;
    }

    void idle() override { effect.dispatch(effEditIdle); }

    Json parameters() const override
    {
        Json list = Json::array();
        for (int i = 0; i < effect.numParams(); ++i)
            list.push_back({{"name", effect.parameterName(i)}, {"value", effect.parameter(i)}});
        return list;
    }

private:
    Module module;
    Effect effect;
    int w = 0, h = 0;
    bool opened = false;
};

class Lv2Editor final : public HostedEditor {
public:
    Lv2Editor(const std::string& name, const std::vector<std::string>& settings, int scale) : scaleFactor(scale)
    {
        // The plug-in as the other commands find it, which also checks the settings.
        const Lv2Plugin plugin(name, settings);
        const Lv2Description& description = plugin.description();
        for (const Lv2Port& port : description.ports)
            if (port.kind == Lv2Port::Kind::control && port.input)
                controls.push_back({port.index, port.symbol, port.name, port.defaultValue.value_or(0.0f)});
        // Lv2Plugin has checked each setting's name and value; a later one wins, as there.
        for (const std::string& setting : settings) {
            const auto equals = setting.find('=');
            const std::string name = folded(setting.substr(0, equals));
            for (Control& control : controls)
                if (folded(control.symbol) == name || folded(control.name) == name)
                    control.value = static_cast<float>(std::strtod(setting.substr(equals + 1).c_str(), nullptr));
        }
        findUi(description);
    }

    ~Lv2Editor() override
    {
        if (handle != nullptr)
            descriptor->cleanup(handle);
        if (library != nullptr)
            dlclose(library);
    }

    int width() const override { return w; }
    int height() const override { return h; }

    void open(Window parent) override
    {
        // The features live as long as the UI, which may keep them.
        parentFeature = {LV2_UI__parent, reinterpret_cast<void*>(parent)};
        const LV2_URID floatType = mapUri(this, LV2_ATOM__Float);
        options[0] = {LV2_OPTIONS_INSTANCE, 0,         mapUri(this, LV2_PARAMETERS__sampleRate),
                      sizeof sampleRate,    floatType, &sampleRate};
        if (scaleFactor > 0.0f)
            options[1] = {LV2_OPTIONS_INSTANCE, 0,         mapUri(this, LV2_UI__scaleFactor),
                          sizeof scaleFactor,   floatType, &scaleFactor};
        const LV2_Feature* features[] = {&parentFeature, &mapFeature,     &resizeFeature, &touchFeature,
                                         &idleFeature,   &optionsFeature, nullptr};
        LV2UI_Widget widget = nullptr;
        handle = descriptor->instantiate(descriptor, pluginUri.c_str(), bundlePath.c_str(), written, this, &widget,
                                         features);
        if (handle == nullptr)
            throw UserError(uiUri + ": the plug-in's UI did not open");
        idleInterface =
            descriptor->extension_data != nullptr
                ? static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface))
                : nullptr;
        for (const Control& control : controls)
            descriptor->port_event(handle, control.index, sizeof(float), 0, &control.value);
    }

    void idle() override
    {
        if (idleInterface != nullptr)
            idleInterface->idle(handle);
    }

    Json parameters() const override
    {
        Json list = Json::array();
        for (const Control& control : controls)
            list.push_back({{"name", control.name}, {"value", control.value}});
        return list;
    }

private:
    struct Control {
        std::uint32_t index;
        std::string symbol, name;
        float value;
    };

    // The first X11 UI the plug-in names; its size is what the UI asks for through ui:resize.
    void findUi(const Lv2Description& description)
    {
        LilvWorld* world = lilv_world_new();
        std::unique_ptr<LilvWorld, decltype(&lilv_world_free)> owner(world, lilv_world_free);
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, description.bundle.c_str());
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
        LilvNode* uri = lilv_new_uri(world, description.uri.c_str());
        const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
        LilvNode* x11 = lilv_new_uri(world, LV2_UI__X11UI);
        LilvUIs* uis = plugin != nullptr ? lilv_plugin_get_uis(plugin) : nullptr;
        LILV_FOREACH(uis, i, uis)
        {
            const LilvUI* ui = lilv_uis_get(uis, i);
            if (!lilv_ui_is_a(ui, x11))
                continue;
            uiUri = lilv_node_as_uri(lilv_ui_get_uri(ui));
            char* binary = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
            char* folder = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_bundle_uri(ui)), nullptr);
            binaryPath = binary;
            bundlePath = folder;
            lilv_free(binary);
            lilv_free(folder);
            break;
        }
        lilv_uis_free(uis);
        lilv_node_free(x11);
        pluginUri = description.uri;
        if (binaryPath.empty())
            throw UserError(description.uri + ": the plug-in has no X11 UI");
        library = dlopen(binaryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
        const auto entry = library != nullptr
                               ? reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"))
                               : nullptr;
        if (entry == nullptr)
            throw UserError(binaryPath + ": cannot load the UI binary");
        for (std::uint32_t index = 0; (descriptor = entry(index)) != nullptr; ++index)
            if (uiUri == descriptor->URI)
                break;
        if (descriptor == nullptr)
            throw UserError(binaryPath + ": the binary has no UI " + uiUri);
    }

    static LV2_URID mapUri(LV2_URID_Map_Handle self, const char* uri)
    {
        auto& uris = static_cast<Lv2Editor*>(self)->uris;
        for (std::size_t i = 0; i < uris.size(); ++i)
            if (uris[i] == uri)
                return static_cast<LV2_URID>(i + 1);
        uris.emplace_back(uri);
        return static_cast<LV2_URID>(uris.size());
    }

    static int resized(LV2UI_Feature_Handle self, int width, int height)
    {
        static_cast<Lv2Editor*>(self)->w = width;
        static_cast<Lv2Editor*>(self)->h = height;
        return 0;
    }

    static void touched(LV2UI_Feature_Handle self, std::uint32_t port, bool grabbed)
    {
        (void)self;
        record({grabbed ? "beginEdit" : "endEdit", port});
    }

    static void written(LV2UI_Controller self, std::uint32_t port, std::uint32_t size, std::uint32_t format,
                        const void* buffer)
    {
        if (format != 0 || size != sizeof(float))
            return;
        float value;
        std::memcpy(&value, buffer, sizeof value);
        for (Control& control : static_cast<Lv2Editor*>(self)->controls)
            if (control.index == port)
                control.value = value;
        record({"automate", port, value});
    }

    std::vector<Control> controls;
    std::vector<std::string> uris;
    LV2_URID_Map map{this, mapUri};
    LV2UI_Resize resize{this, resized};
    LV2UI_Touch touch{this, touched};
    LV2_Feature parentFeature{LV2_UI__parent, nullptr};
    LV2_Feature mapFeature{LV2_URID__map, &map};
    LV2_Feature resizeFeature{LV2_UI__resize, &resize};
    LV2_Feature touchFeature{LV2_UI__touch, &touch};
    LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
    // The sample rate, the scale when asked for, and the zeroed option that ends the list.
    float sampleRate = static_cast<float>(kSampleRate);
    float scaleFactor;
    LV2_Options_Option options[3]{};
    LV2_Feature optionsFeature{LV2_OPTIONS__options, options};
    std::string pluginUri, uiUri, binaryPath, bundlePath;
    void* library = nullptr;
    const LV2UI_Descriptor* descriptor = nullptr;
    LV2UI_Handle handle = nullptr;
    const LV2UI_Idle_Interface* idleInterface = nullptr;
    int w = 0, h = 0;
};

// plughost's top-level window, at the screen's top left, which the editor fills.
class HostWindow {
public:
    HostWindow()
    {
        display = XOpenDisplay(nullptr);
        if (display == nullptr)
            throw UserError("cannot open the X display; set DISPLAY to a running X server");
        window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 100, 100, 0, 0, 0);
        XStoreName(display, window, "plughost editor");
        deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display, window, &deleteAtom, 1);
        XSelectInput(display, window, StructureNotifyMask);
    }
    ~HostWindow()
    {
        XDestroyWindow(display, window);
        XCloseDisplay(display);
    }

    void show(int width, int height)
    {
        XResizeWindow(display, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
        XMapRaised(display, window);
        XSync(display, False);
    }

    // Handles plughost's own events; false once the user closed the window.
    bool stillOpen()
    {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == deleteAtom)
                return false;
        }
        return true;
    }

    // Moves the pointer to (x, y) in the window, pressing or releasing button 1 when asked.
    void pointer(int x, int y)
    {
        int rootX = 0, rootY = 0;
        Window child;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
        XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, CurrentTime);
        XSync(display, False);
    }
    void button(bool down)
    {
        XTestFakeButtonEvent(display, 1, down ? True : False, CurrentTime);
        XSync(display, False);
    }

    // The window's pixels as the X server holds them, 0x00RRGGBB.
    std::vector<std::uint32_t> pixels(int width, int height)
    {
        XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                  AllPlanes, ZPixmap);
        if (image == nullptr)
            throw UserError("cannot read the editor's pixels from the X server");
        std::vector<std::uint32_t> out(static_cast<std::size_t>(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                out[static_cast<std::size_t>(y) * width + x] =
                    static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xffffffu;
        XDestroyImage(image);
        return out;
    }

    Window id() const { return window; }
    bool hasXTest()
    {
        int event, error, major, minor;
        return XTestQueryExtension(display, &event, &error, &major, &minor) != 0;
    }

private:
    Display* display = nullptr;
    Window window = 0;
    Atom deleteAtom = 0;
};

struct Drag {
    int x, y, dx, dy;
};

Drag parseDrag(const std::string& text)
{
    Drag drag{};
    char end = 0;
    if (std::sscanf(text.c_str(), "%d,%d,%d,%d%c", &drag.x, &drag.y, &drag.dx, &drag.dy, &end) != 4)
        throw UserError("--drag expects X,Y,DX,DY in whole pixels, got '" + text + "'");
    return drag;
}

// A few idle calls, so that the editor reads what the window system sent it and draws.
void settle(HostedEditor& editor, int calls = 3)
{
    for (int i = 0; i < calls; ++i) {
        editor.idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void writePng(const std::string& path, const std::vector<std::uint32_t>& pixels, int width, int height)
{
    AtomicOutput output(path);
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(pixels.data())),
                                            CAIRO_FORMAT_RGB24, width, height, width * 4);
    const cairo_status_t status = cairo_surface_write_to_png(surface, output.path().c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
        throw UserError(path + ": cannot write the picture");
    output.commit();
}

} // namespace

int runEditor(const EditorOptions& options)
{
    if (!options.screenshotPath.empty() && std::filesystem::path(options.screenshotPath).extension() != ".png")
        throw UserError("--screenshot writes a .png file, not '" + options.screenshotPath + "'");
    std::vector<Drag> drags;
    for (const std::string& text : options.drags)
        drags.push_back(parseDrag(text));

    HostWindow window;
    if (!drags.empty() && !window.hasXTest())
        throw UserError("--drag needs the X test extension, which this X server lacks");
    std::unique_ptr<HostedEditor> editor;
    if (namesLv2Plugin(options.modulePath)) {
        editor = std::make_unique<Lv2Editor>(options.modulePath, options.settings, options.scale);
    } else {
        // Before the module is asked for its editor's size, which it answers at this scale.
        if (options.scale != 0)
            setenv("SOFTKNEESHAPER_EDITOR_SCALE", std::to_string(options.scale).c_str(), 1);
        editor = std::make_unique<VstEditor>(options.modulePath, options.settings);
    }
    editor->open(window.id());
    window.show(editor->width(), editor->height());
    settle(*editor, 10);

    Json gestures = Json::array();
    for (const Drag& drag : drags) {
        Json calls = Json::array();
        recording = &calls;
        window.pointer(drag.x, drag.y);
        settle(*editor);
        window.button(true);
        settle(*editor);
        const int longest = std::max(std::abs(drag.dx), std::abs(drag.dy));
        const int steps = std::max(1, (longest + kDragStepPixels - 1) / kDragStepPixels);
        for (int step = 1; step <= steps; ++step) {
            window.pointer(drag.x + drag.dx * step / steps, drag.y + drag.dy * step / steps);
            settle(*editor);
        }
        window.button(false);
        settle(*editor);
        recording = nullptr;
        gestures.push_back({{"at", {drag.x, drag.y}}, {"by", {drag.dx, drag.dy}}, {"calls", calls}});
    }

    const bool interactive = drags.empty() && options.screenshotPath.empty() && !options.json;
    while (interactive && window.stillOpen()) {
        editor->idle();
        std::this_thread::sleep_for(kIdlePeriod);
    }
    // Time for the editor to hear that its window was shown or uncovered and to draw again.
    for (int i = 0; i < 20; ++i) {
        settle(*editor, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!options.screenshotPath.empty())
        writePng(options.screenshotPath, window.pixels(editor->width(), editor->height()), editor->width(),
                 editor->height());
    if (options.json) {
        Json document;
        document["width"] = editor->width();
        document["height"] = editor->height();
        document["gestures"] = gestures;
        document["parameters"] = editor->parameters();
        std::cout << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    }
    return 0;
}

} // namespace plughost
