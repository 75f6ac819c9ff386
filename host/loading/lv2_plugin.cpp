#include "lv2_plugin.h"

#include "lv2_features.h"
#include "lv2_path.h"
#include "quiet_stderr.h"
#include "user_error.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>
#include <lv2/units/units.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace plughost {

namespace {

// Bytes of each atom port's buffer, as the sequenceSize option announces.
constexpr std::size_t kAtomBufferBytes = 8192;
constexpr std::uint32_t kMostPorts = 4096;

// A node that lilv answered as new, freed with the scope.
class OwnedNode {
public:
    explicit OwnedNode(LilvNode* node) noexcept : node(node) {}
    ~OwnedNode() { lilv_node_free(node); }
    OwnedNode(const OwnedNode&) = delete;
    OwnedNode& operator=(const OwnedNode&) = delete;
    const LilvNode* get() const noexcept { return node; }

private:
    LilvNode* node;
};

std::string textOf(const LilvNode* node)
{
    return node ? lilv_node_as_string(node) : std::string();
}

std::optional<float> numberOf(const LilvNode* node)
{
    if (node && (lilv_node_is_float(node) || lilv_node_is_int(node)) && std::isfinite(lilv_node_as_float(node)))
        return lilv_node_as_float(node);
    return std::nullopt;
}

// The part of a URI after its last '#' or '/': "toggled" for lv2core#toggled.
std::string lastPart(const std::string& uri)
{
    const auto cut = uri.find_last_of("#/");
    return cut == std::string::npos ? uri : uri.substr(cut + 1);
}

std::string folded(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string numberText(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string pathOfFileUri(const LilvNode* node)
{
    if (!node)
        return {};
    char* path = lilv_file_uri_parse(lilv_node_as_uri(node), nullptr);
    std::string text = path ? path : lilv_node_as_uri(node);
    lilv_free(path);
    return text;
}

// "1x = 0, 2x = 1, ..." : the labels a control takes, with their values.
std::string choices(const Lv2Port& port)
{
    std::string text;
    for (const auto& [label, value] : port.scalePoints)
        text += (text.empty() ? "" : ", ") + label + " (" + numberText(value) + ")";
    return text;
}

// A control's value as given: a label of its scale points (quality=8x, case ignored), on or
// off for a toggle, or a number.
double controlValue(const Lv2Port& port, const std::string& name, const std::string& text)
{
    for (const auto& [label, value] : port.scalePoints)
        if (folded(label) == folded(text))
            return value;
    if (port.has("toggled") && (folded(text) == "on" || folded(text) == "off"))
        return folded(text) == "on" ? port.maximum.value_or(1.0f) : port.minimum.value_or(0.0f);
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (!text.empty() && *end == '\0' && std::isfinite(value))
        return value;
    if (!port.scalePoints.empty())
        throw UserError("value '" + text + "' for '" + name + "' is none of its choices: " + choices(port));
    throw UserError("value '" + text + "' for '" + name + "' is not a number" +
                    (port.has("toggled") ? ", on or off" : ""));
}

} // namespace

bool namesLv2Plugin(const std::string& module)
{
    std::error_code error;
    if (std::filesystem::is_directory(module, error))
        return true;
    if (std::filesystem::exists(module, error))
        return false;
    // A scheme and a colon: "urn:...", "http://...". A Windows drive letter has one letter only.
    const auto colon = module.find(':');
    return colon != std::string::npos && colon >= 2 && std::isalpha(static_cast<unsigned char>(module[0])) &&
           std::all_of(module.begin(), module.begin() + static_cast<std::ptrdiff_t>(colon),
                       [](unsigned char c) { return std::isalnum(c) || c == '+' || c == '-' || c == '.'; });
}

struct Lv2Plugin::State {
    struct Instance {
        LilvInstance* instance = nullptr;
        bool active = false;
        std::vector<float> controlOutputs;             // by port index
        std::vector<std::vector<float>> samples;       // audio and CV ports, by port index
        std::vector<std::vector<std::uint64_t>> atoms; // atom ports, by port index; 64-bit aligned
    };

    std::string who; // the plug-in as the user named it, opening every message
    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr;
    Lv2Description description;
    Lv2Features features;
    std::vector<float> controls; // control input values by port index, shared by every instance
    std::vector<std::uint32_t> audioInputs, audioOutputs;
    bool perChannel = false;
    std::vector<Instance> instances;
    int longestBlock = 0;
    LV2_URID sequenceType = 0, chunkType = 0;

    ~State()
    {
        freeInstances();
        lilv_world_free(world);
    }

    void find(const std::string& module);
    void loadBundles(const std::vector<std::filesystem::path>& bundles);
    void describe();
    void checkRunnable() const;
    void applySettings(const std::vector<std::string>& settings);
    void applyPreset(const std::string& preset);
    void freeInstances() noexcept;
    void prepareAtoms(Instance& instance) const noexcept;
};

void Lv2Plugin::State::loadBundles(const std::vector<std::filesystem::path>& bundles)
{
    for (const auto& bundle : bundles) {
        const OwnedNode node(lilv_new_file_uri(world, nullptr, (bundle.string() + "/").c_str()));
        lilv_world_load_bundle(world, node.get());
    }
}

void Lv2Plugin::State::find(const std::string& module)
{
    QuietStderr quiet;
    world = lilv_world_new();
    const Lv2SearchPath path = lv2SearchPath();
    std::error_code error;
    if (!std::filesystem::is_directory(module, error)) {
        // lilv reads exactly these absolute folders; with none, nothing (not lilv's defaults).
        if (!path.folders.empty()) {
            const OwnedNode lv2Path(lilv_new_string(world, joinedPath(path.folders).c_str()));
            lilv_world_set_option(world, LILV_OPTION_LV2_PATH, lv2Path.get());
            lilv_world_load_all(world);
        }
        const auto vocabularies = missingVocabularies(path.folders, {});
        if (!vocabularies.empty()) {
            loadBundles(vocabularies);
            lilv_world_load_specifications(world);
            lilv_world_load_plugin_classes(world);
        }
        const OwnedNode uri(lilv_new_uri(world, module.c_str()));
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri.get());
        if (!plugin) {
            std::string missing;
            for (const std::string& entry : path.missing)
                missing += (missing.empty() ? " (no such folder: " : ", ") + entry;
            throw UserError(module + ": no such file, nor an LV2 plug-in of this URI on " + path.described + missing +
                            (missing.empty() ? "" : ")"));
        }
        return;
    }
    // A bundle folder is read alone, so it is this folder's plug-in that runs even when one of
    // the same URI is installed; the core and units vocabularies come from the LV2 folders.
    std::string folder = std::filesystem::absolute(module).lexically_normal().string();
    if (folder.back() != '/')
        folder += '/';
    if (!std::filesystem::exists(folder + "manifest.ttl"))
        throw UserError(module + ": a folder without manifest.ttl, so no LV2 bundle");
    const OwnedNode bundle(lilv_new_file_uri(world, nullptr, folder.c_str()));
    lilv_world_load_bundle(world, bundle.get());
    loadBundles(missingVocabularies({}, path.folders));
    lilv_world_load_specifications(world);
    lilv_world_load_plugin_classes(world);
    std::vector<const LilvPlugin*> found;
    const LilvPlugins* all = lilv_world_get_all_plugins(world);
    LILV_FOREACH(plugins, i, all)
    {
        const LilvPlugin* candidate = lilv_plugins_get(all, i);
        if (pathOfFileUri(lilv_plugin_get_bundle_uri(candidate)) == folder)
            found.push_back(candidate);
    }
    if (found.empty())
        throw UserError(module + ": the bundle's manifest.ttl names no LV2 plug-in");
    if (found.size() > 1) {
        std::string uris;
        for (const LilvPlugin* candidate : found)
            uris += (uris.empty() ? "" : ", ") + textOf(lilv_plugin_get_uri(candidate));
        throw UserError(module + ": the bundle holds " + std::to_string(found.size()) +
                        " LV2 plug-ins; name one by its URI: " + uris);
    }
    plugin = found.front();
}

void Lv2Plugin::State::describe()
{
    QuietStderr quiet;
    if (!lilv_plugin_verify(plugin)) {
        const std::string why = quiet.firstLine();
        throw UserError(who + ": the plug-in's Turtle description is incomplete" + (why.empty() ? "" : ": " + why));
    }
    Lv2Description& d = description;
    d.uri = textOf(lilv_plugin_get_uri(plugin));
    {
        const OwnedNode name(lilv_plugin_get_name(plugin));
        d.name = textOf(name.get());
        const OwnedNode author(lilv_plugin_get_author_name(plugin));
        d.author = textOf(author.get());
    }
    if (const LilvPluginClass* pluginClass = lilv_plugin_get_class(plugin)) {
        d.className = textOf(lilv_plugin_class_get_label(pluginClass));
        if (d.className.empty())
            d.className = lastPart(textOf(lilv_plugin_class_get_uri(pluginClass)));
    }
    d.bundle = pathOfFileUri(lilv_plugin_get_bundle_uri(plugin));
    d.binary = pathOfFileUri(lilv_plugin_get_library_uri(plugin));
    for (const auto& [list, nodes] : {std::pair{&d.requiredFeatures, lilv_plugin_get_required_features(plugin)},
                                      std::pair{&d.optionalFeatures, lilv_plugin_get_optional_features(plugin)}}) {
        LILV_FOREACH(nodes, i, nodes)
        list->push_back(textOf(lilv_nodes_get(nodes, i)));
        lilv_nodes_free(nodes);
    }

    const std::uint32_t count = lilv_plugin_get_num_ports(plugin);
    if (count > kMostPorts)
        throw UserError(who + ": the plug-in describes " + std::to_string(count) + " ports (0 to " +
                        std::to_string(kMostPorts) + " are plausible)");
    const OwnedNode audioClass(lilv_new_uri(world, LV2_CORE__AudioPort));
    const OwnedNode controlClass(lilv_new_uri(world, LV2_CORE__ControlPort));
    const OwnedNode cvClass(lilv_new_uri(world, LV2_CORE__CVPort));
    const OwnedNode atomClass(lilv_new_uri(world, LV2_ATOM__AtomPort));
    const OwnedNode inputClass(lilv_new_uri(world, LV2_CORE__InputPort));
    const OwnedNode outputClass(lilv_new_uri(world, LV2_CORE__OutputPort));
    const OwnedNode optionalProperty(lilv_new_uri(world, LV2_CORE__connectionOptional));
    const OwnedNode unitPredicate(lilv_new_uri(world, LV2_UNITS__unit));
    const OwnedNode unitSymbol(lilv_new_uri(world, LV2_UNITS__symbol));
    for (std::uint32_t index = 0; index < count; ++index) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
        if (!port)
            throw UserError(who + ": port " + std::to_string(index) + " is not described");
        Lv2Port p;
        p.index = index;
        p.symbol = textOf(lilv_port_get_symbol(plugin, port));
        const OwnedNode name(lilv_port_get_name(plugin, port));
        p.name = textOf(name.get());
        p.input = lilv_port_is_a(plugin, port, inputClass.get());
        if (p.input == lilv_port_is_a(plugin, port, outputClass.get()))
            throw UserError(who + ": port " + std::to_string(index) + " '" + p.symbol +
                            "' is not exactly one of input and output");
        p.kind = lilv_port_is_a(plugin, port, audioClass.get())     ? Lv2Port::Kind::audio
                 : lilv_port_is_a(plugin, port, controlClass.get()) ? Lv2Port::Kind::control
                 : lilv_port_is_a(plugin, port, atomClass.get())    ? Lv2Port::Kind::atom
                 : lilv_port_is_a(plugin, port, cvClass.get())      ? Lv2Port::Kind::cv
                                                                    : Lv2Port::Kind::other;
        p.optional = lilv_port_has_property(plugin, port, optionalProperty.get());
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(plugin, port, &def, &min, &max);
        p.defaultValue = numberOf(def);
        p.minimum = numberOf(min);
        p.maximum = numberOf(max);
        lilv_node_free(def);
        lilv_node_free(min);
        lilv_node_free(max);
        if (LilvNodes* units = lilv_port_get_value(plugin, port, unitPredicate.get())) {
            const LilvNode* unit = lilv_nodes_get_first(units);
            const OwnedNode symbol(unit ? lilv_world_get(world, unit, unitSymbol.get(), nullptr) : nullptr);
            // Some units have an empty symbol (units:coef); their name says more than nothing.
            p.unit = textOf(symbol.get());
            if (p.unit.empty())
                p.unit = lastPart(textOf(unit));
            lilv_nodes_free(units);
        }
        if (LilvScalePoints* points = lilv_port_get_scale_points(plugin, port)) {
            LILV_FOREACH(scale_points, i, points)
            {
                const LilvScalePoint* point = lilv_scale_points_get(points, i);
                if (const auto value = numberOf(lilv_scale_point_get_value(point)))
                    p.scalePoints.emplace_back(textOf(lilv_scale_point_get_label(point)), *value);
            }
            lilv_scale_points_free(points);
            std::sort(p.scalePoints.begin(), p.scalePoints.end(),
                      [](const auto& a, const auto& b) { return a.second < b.second; });
        }
        if (LilvNodes* properties = lilv_port_get_properties(plugin, port)) {
            LILV_FOREACH(nodes, i, properties)
            p.properties.push_back(lastPart(textOf(lilv_nodes_get(properties, i))));
            lilv_nodes_free(properties);
        }
        d.ports.push_back(p);
        if (p.kind == Lv2Port::Kind::audio)
            (p.input ? audioInputs : audioOutputs).push_back(index);
    }
    if (lilv_plugin_has_latency(plugin)) {
        const std::uint32_t latency = lilv_plugin_get_latency_port_index(plugin);
        if (latency < count && d.ports[latency].kind == Lv2Port::Kind::control && !d.ports[latency].input)
            d.latencyPort = latency;
    }
    controls.assign(count, 0.0f);
    for (const Lv2Port& p : d.ports) {
        float value = p.defaultValue.value_or(p.minimum.value_or(0.0f));
        if (p.minimum && p.maximum && *p.minimum <= *p.maximum)
            value = std::clamp(value, *p.minimum, *p.maximum);
        controls[p.index] = value;
    }
    perChannel = audioInputs.size() == 1 && audioOutputs.size() == 1;
    sequenceType = features.map(LV2_ATOM__Sequence);
    chunkType = features.map(LV2_ATOM__Chunk);
}

void Lv2Plugin::State::checkRunnable() const
{
    for (const std::string& feature : description.requiredFeatures)
        if (!Lv2Features::provides(feature))
            throw UserError(who + ": the plug-in requires the feature " + feature +
                            ", which plughost does not provide");
    if (audioInputs.empty() && audioOutputs.empty())
        throw UserError(who + ": the plug-in has no audio ports; there is nothing to process");
    for (const Lv2Port& p : description.ports)
        if (p.kind == Lv2Port::Kind::other && !p.optional)
            throw UserError(who + ": port " + std::to_string(p.index) + " '" + p.symbol +
                            "' is of a kind plughost cannot connect (neither audio, control, CV nor atom)");
}

void Lv2Plugin::State::applySettings(const std::vector<std::string>& settings)
{
    for (const std::string& setting : settings) {
        const auto equals = setting.find('=');
        if (equals == std::string::npos || equals == 0)
            throw UserError("--set expects NAME=VALUE, got '" + setting + "'");
        const std::string name = setting.substr(0, equals);
        const std::string valueText = setting.substr(equals + 1);
        const Lv2Port* port = nullptr;
        for (const Lv2Port& p : description.ports)
            if (p.kind == Lv2Port::Kind::control && p.input &&
                (folded(p.symbol) == folded(name) || folded(p.name) == folded(name)))
                port = port ? port : &p;
        if (!port) {
            std::string known;
            for (const Lv2Port& p : description.ports)
                if (p.kind == Lv2Port::Kind::control && p.input)
                    known += (known.empty() ? "" : ", ") + p.symbol;
            throw UserError("unknown control '" + name + "' (this plug-in has: " + known + ")");
        }
        const double value = controlValue(*port, name, valueText);
        if ((port->minimum && value < *port->minimum) || (port->maximum && value > *port->maximum))
            throw UserError("value " + valueText + " for '" + name + "' is outside " +
                            (port->minimum ? numberText(*port->minimum) : "-inf") + " to " +
                            (port->maximum ? numberText(*port->maximum) : "inf") + " (the control's own range)");
        if (port->has("enumeration") && !port->scalePoints.empty() &&
            std::none_of(port->scalePoints.begin(), port->scalePoints.end(),
                         [&](const auto& point) { return point.second == static_cast<float>(value); }))
            throw UserError("value " + valueText + " for '" + name + "' is none of its choices: " + choices(*port));
        if (port->has("integer") && value != std::round(value))
            throw UserError("value " + valueText + " for '" + name +
                            "' is not a whole number (the control takes integers)");
        if (port->has("toggled") && value != port->minimum.value_or(0.0f) && value != port->maximum.value_or(1.0f))
            throw UserError("value " + valueText + " for '" + name + "' is neither on nor off (" +
                            numberText(port->minimum.value_or(0.0f)) + " or " +
                            numberText(port->maximum.value_or(1.0f)) + ")");
        controls[port->index] = static_cast<float>(value);
    }
}

// A preset's values for the control inputs, by symbol, as its Turtle gives them (lv2:port
// [ lv2:symbol ...; pset:value ... ]); lilv reads the preset's own file first.
void Lv2Plugin::State::applyPreset(const std::string& wanted)
{
    QuietStderr quiet;
    const OwnedNode presetClass(lilv_new_uri(world, LV2_PRESETS__Preset));
    const OwnedNode label(lilv_new_uri(world, LILV_NS_RDFS "label"));
    const OwnedNode portPredicate(lilv_new_uri(world, LV2_CORE__port));
    const OwnedNode symbolPredicate(lilv_new_uri(world, LV2_CORE__symbol));
    const OwnedNode valuePredicate(lilv_new_uri(world, LV2_PRESETS__value));
    LilvNodes* presets = lilv_plugin_get_related(plugin, presetClass.get());
    const LilvNode* chosen = nullptr;
    std::string known;
    LILV_FOREACH(nodes, i, presets)
    {
        const LilvNode* preset = lilv_nodes_get(presets, i);
        lilv_world_load_resource(world, preset);
        const OwnedNode name(lilv_world_get(world, preset, label.get(), nullptr));
        if (!chosen && (folded(textOf(name.get())) == folded(wanted) || textOf(preset) == wanted))
            chosen = preset;
        known += (known.empty() ? "" : ", ") + (name.get() ? textOf(name.get()) : textOf(preset));
    }
    if (!chosen) {
        lilv_nodes_free(presets);
        throw UserError(known.empty() ? "--preset " + wanted + ": this plug-in has no presets"
                                      : "unknown preset '" + wanted + "' (this plug-in has: " + known + ")");
    }
    LilvNodes* ports = lilv_world_find_nodes(world, chosen, portPredicate.get(), nullptr);
    LILV_FOREACH(nodes, i, ports)
    {
        const LilvNode* port = lilv_nodes_get(ports, i);
        const OwnedNode symbol(lilv_world_get(world, port, symbolPredicate.get(), nullptr));
        const OwnedNode value(lilv_world_get(world, port, valuePredicate.get(), nullptr));
        const auto number = numberOf(value.get());
        for (const Lv2Port& p : description.ports)
            if (number && p.kind == Lv2Port::Kind::control && p.input && p.symbol == textOf(symbol.get()))
                controls[p.index] = *number;
    }
    lilv_nodes_free(ports);
    lilv_nodes_free(presets);
}

void Lv2Plugin::State::freeInstances() noexcept
{
    for (Instance& instance : instances) {
        if (instance.active)
            lilv_instance_deactivate(instance.instance);
        lilv_instance_free(instance.instance);
    }
    instances.clear();
}

// [audio thread] An empty sequence on each atom input; each output told its capacity.
void Lv2Plugin::State::prepareAtoms(Instance& instance) const noexcept
{
    for (const Lv2Port& p : description.ports) {
        if (p.kind != Lv2Port::Kind::atom)
            continue;
        auto* atom = reinterpret_cast<LV2_Atom*>(instance.atoms[p.index].data());
        if (p.input) {
            auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(atom);
            sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
            sequence->atom.type = sequenceType;
            sequence->body.unit = 0;
            sequence->body.pad = 0;
        } else {
            atom->size = kAtomBufferBytes - sizeof(LV2_Atom);
            atom->type = chunkType;
        }
    }
}

Lv2Plugin::Lv2Plugin(const std::string& module, const std::vector<std::string>& settings, const std::string& preset)
    : state(std::make_unique<State>())
{
    state->who = module;
    state->find(module);
    state->describe();
    state->checkRunnable();
    if (!preset.empty())
        state->applyPreset(preset);
    state->applySettings(settings);
}

Lv2Plugin::~Lv2Plugin() = default;

const Lv2Description& Lv2Plugin::description() const noexcept
{
    return state->description;
}

std::string Lv2Plugin::name() const
{
    return state->description.name.empty() ? state->description.uri : state->description.name;
}

int Lv2Plugin::inputs() const
{
    return state->perChannel ? 2 : static_cast<int>(state->audioInputs.size());
}

int Lv2Plugin::outputs() const
{
    return state->perChannel ? 2 : static_cast<int>(state->audioOutputs.size());
}

void Lv2Plugin::start(double sampleRate, int longestBlock)
{
    State& s = *state;
    s.freeInstances();
    s.features.setRun(sampleRate, longestBlock);
    s.longestBlock = longestBlock;
    const std::size_t count = s.perChannel ? 2 : 1;
    s.instances.reserve(count);
    const auto frames = static_cast<std::size_t>(longestBlock);
    for (std::size_t n = 0; n < count; ++n) {
        State::Instance made;
        {
            QuietStderr quiet;
            made.instance = lilv_plugin_instantiate(s.plugin, sampleRate, s.features.list());
            if (!made.instance) {
                const std::string why = quiet.firstLine();
                throw UserError(s.who + ": the plug-in failed to instantiate at " + numberText(sampleRate) + " Hz" +
                                (why.empty() ? "" : ": " + why));
            }
        }
        s.instances.push_back(std::move(made));
        State::Instance& instance = s.instances.back();
        const std::size_t ports = s.description.ports.size();
        instance.controlOutputs.assign(ports, 0.0f);
        instance.samples.resize(ports);
        instance.atoms.resize(ports);
        for (const Lv2Port& p : s.description.ports) {
            void* where = nullptr;
            switch (p.kind) {
            case Lv2Port::Kind::audio:
            case Lv2Port::Kind::cv:
                instance.samples[p.index].assign(frames, 0.0f);
                where = instance.samples[p.index].data();
                break;
            case Lv2Port::Kind::control:
                where = p.input ? &s.controls[p.index] : &instance.controlOutputs[p.index];
                break;
            case Lv2Port::Kind::atom:
                instance.atoms[p.index].assign(kAtomBufferBytes / sizeof(std::uint64_t), 0);
                where = instance.atoms[p.index].data();
                break;
            case Lv2Port::Kind::other:
                break; // optional, as checkRunnable made sure
            }
            lilv_instance_connect_port(instance.instance, p.index, where);
        }
        lilv_instance_activate(instance.instance);
        instance.active = true;
    }
}

// [audio thread] no allocation: copies into the buffers start() made, and runs in
// pieces no longer than the block length the plug-in was promised.
void Lv2Plugin::process(const float* const* inputs, float* const* outputs, int frames)
{
    State& s = *state;
    for (int done = 0; done < frames;) {
        const int piece = std::min(frames - done, s.longestBlock);
        for (std::size_t n = 0; n < s.instances.size(); ++n) {
            State::Instance& instance = s.instances[n];
            for (std::size_t c = 0; c < s.audioInputs.size(); ++c)
                std::copy_n(inputs[s.perChannel ? n : c] + done, piece, instance.samples[s.audioInputs[c]].data());
            s.prepareAtoms(instance);
            lilv_instance_run(instance.instance, static_cast<std::uint32_t>(piece));
            for (std::size_t c = 0; c < s.audioOutputs.size(); ++c)
                std::copy_n(instance.samples[s.audioOutputs[c]].data(), piece, outputs[s.perChannel ? n : c] + done);
        }
        done += piece;
    }
}

void Lv2Plugin::stop()
{
    state->freeInstances();
}

int Lv2Plugin::latency() const
{
    const State& s = *state;
    if (!s.description.latencyPort || s.instances.empty())
        return 0;
    const float reported = s.instances.front().controlOutputs[*s.description.latencyPort];
    return std::isfinite(reported) && reported > 0.0f && reported < 1e9f ? static_cast<int>(std::lround(reported)) : 0;
}

} // namespace plughost
