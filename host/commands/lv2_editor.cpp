// `plughost editor` of an LV2 plug-in: its X11 UI, loaded from its bundle with dlopen and given
// plughost's window through ui:parent, with ui:idleInterface, ui:resize and ui:touch. Control
// values go in through port events and come back through the write function.
#include "hosted_editor.h"
#include "lv2_plugin.h"
#include "user_error.h"

#include <dlfcn.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace plughost {

namespace {

std::string folded(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

class Lv2Editor final : public HostedEditor {
public:
    Lv2Editor(const std::string& name, const std::vector<std::string>& settings, int scale)
        : scaleFactor(static_cast<float>(scale))
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

    void open(std::uintptr_t parent) override
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
        recordHostCall({grabbed ? "beginEdit" : "endEdit", port});
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
        recordHostCall({"automate", port, value});
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
    float sampleRate = static_cast<float>(kEditorSampleRate);
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

} // namespace

std::unique_ptr<HostedEditor> makeLv2Editor(const std::string& name, const std::vector<std::string>& settings,
                                            int scale)
{
    return std::make_unique<Lv2Editor>(name, settings, scale);
}

} // namespace plughost
