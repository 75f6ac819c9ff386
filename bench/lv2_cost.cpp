// The cost of LV2 plug-ins as a host runs them: each instantiated through lilv at 48 kHz
// with its controls at their defaults, fed loud stereo noise in 512-frame blocks, and timed
// over two seconds of audio after one second of warm-up. A plug-in with an enumerated control
// (the HQ shaper's Quality) is timed at each of its values. Prints nanoseconds per stereo
// frame, the median of five runs, one line per plug-in and value; the plug-ins take turns.
// SYMBOL=VALUE after a URI sets that control instead of its default (an enumerated control
// so set is timed at that value only), so that peers can be timed at matched distortion.
//
//   lv2_cost URI [SYMBOL=VALUE...]...
//
// LV2_PATH as usual says where the plug-ins are. Exit code 2 when a URI is not found or a
// plug-in does not instantiate.
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 48000.0;
constexpr std::uint32_t kBlock = 512;
constexpr int kRuns = 5;

// A URID map for plug-ins that want one (Calf's event ports); called on the main thread only.
std::vector<std::string> mapped;
LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri)
{
    const auto found = std::find(mapped.begin(), mapped.end(), uri);
    if (found != mapped.end()) {
        return static_cast<LV2_URID>(found - mapped.begin() + 1);
    }
    mapped.emplace_back(uri);
    return static_cast<LV2_URID>(mapped.size());
}

struct Nodes {
    explicit Nodes(LilvWorld* world)
        : audio(lilv_new_uri(world, LV2_CORE__AudioPort)), control(lilv_new_uri(world, LV2_CORE__ControlPort)),
          input(lilv_new_uri(world, LV2_CORE__InputPort)), atom(lilv_new_uri(world, LV2_ATOM__AtomPort)),
          enumeration(lilv_new_uri(world, LV2_CORE__enumeration))
    {
    }
    LilvNode* audio;
    LilvNode* control;
    LilvNode* input;
    LilvNode* atom;
    LilvNode* enumeration;
};

// Every port connected: audio to the noise and an output buffer, controls to their
// defaults, atom ports to an empty sequence; enumerated is the index of the first enumerated
// control, or -1, and values the values it is timed at.
struct Connection {
    std::vector<float> controls;
    std::vector<std::vector<std::uint8_t>> atoms;
    std::int64_t enumerated = -1;
    std::vector<float> values;
};

struct Entry {
    const LilvPlugin* plugin;
    LilvInstance* instance;
    std::unique_ptr<Connection> connection;
    std::string label, setting;
    std::vector<double> times;
};

double timeOnce(LilvInstance* instance, const LilvPlugin* plugin, const Nodes& nodes, Connection& connection,
                std::vector<float>* audioIn, std::vector<float>* audioOut, std::size_t frames, LV2_URID sequenceType)
{
    const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
    const auto runBlocks = [&](std::size_t count) {
        for (std::size_t start = 0; start + kBlock <= count; start += kBlock) {
            int inIndex = 0;
            int outIndex = 0;
            for (std::uint32_t i = 0; i < ports; ++i) {
                const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
                if (lilv_port_is_a(plugin, port, nodes.audio)) {
                    const bool in = lilv_port_is_a(plugin, port, nodes.input);
                    float* data = in ? audioIn[inIndex++ % 2].data() + start : audioOut[outIndex++ % 2].data() + start;
                    lilv_instance_connect_port(instance, i, data);
                } else if (lilv_port_is_a(plugin, port, nodes.atom)) {
                    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(connection.atoms[i].data());
                    const bool in = lilv_port_is_a(plugin, port, nodes.input);
                    sequence->atom.type = in ? sequenceType : 0;
                    sequence->atom.size =
                        in ? sizeof(LV2_Atom_Sequence_Body)
                           : static_cast<std::uint32_t>(connection.atoms[i].size() - sizeof(LV2_Atom));
                }
            }
            lilv_instance_run(instance, kBlock);
        }
    };
    runBlocks(static_cast<std::size_t>(kRate));
    const auto begin = std::chrono::steady_clock::now();
    runBlocks(frames);
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::nano>(end - begin).count() / static_cast<double>(frames);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: lv2_cost URI [SYMBOL=VALUE...]...\n");
        return 2;
    }
    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    const Nodes nodes(world);
    LV2_URID_Map map{nullptr, mapUri};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature* const features[] = {&mapFeature, nullptr};
    const LV2_URID sequenceType = mapUri(nullptr, LV2_ATOM__Sequence);

    const std::size_t frames = 2 * static_cast<std::size_t>(kRate);
    std::mt19937 random(1);
    std::uniform_real_distribution<float> loud(-1.0f, 1.0f);
    std::vector<float> audioIn[2], audioOut[2];
    for (int c = 0; c < 2; ++c) {
        audioIn[c].resize(std::max<std::size_t>(frames, static_cast<std::size_t>(kRate)));
        std::generate(audioIn[c].begin(), audioIn[c].end(), [&] { return loud(random); });
        audioOut[c].resize(audioIn[c].size());
    }

    std::printf("%-40s %8s %10s\n", "plug-in", "setting", "ns/frame");
    int status = 0;
    std::vector<Entry> entries;
    for (int a = 1; a < argc; ++a) {
        if (std::strchr(argv[a], '=') != nullptr) {
            continue; // a setting of the URI before it, taken there
        }
        LilvNode* uri = lilv_new_uri(world, argv[a]);
        const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
        if (plugin == nullptr) {
            std::fprintf(stderr, "lv2_cost: no plug-in %s\n", argv[a]);
            status = 2;
            continue;
        }
        const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
        Connection connection;
        connection.controls.resize(ports);
        connection.atoms.resize(ports);
        lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, connection.controls.data());
        LilvNode* name = lilv_plugin_get_name(plugin);
        std::string label = lilv_node_as_string(name);
        lilv_node_free(name);
        for (std::uint32_t i = 0; i < ports; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            if (lilv_port_is_a(plugin, port, nodes.control) && lilv_port_is_a(plugin, port, nodes.input) &&
                lilv_port_has_property(plugin, port, nodes.enumeration) && connection.enumerated < 0) {
                connection.enumerated = i;
                LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
                LILV_FOREACH(scale_points, p, points)
                {
                    connection.values.push_back(
                        lilv_node_as_float(lilv_scale_point_get_value(lilv_scale_points_get(points, p))));
                }
                lilv_scale_points_free(points);
                std::sort(connection.values.begin(), connection.values.end());
            }
            if (std::isnan(connection.controls[i])) {
                connection.controls[i] = 0.0f;
            }
            connection.atoms[i].resize(8192);
        }
        std::string settings;
        for (int s = a + 1; s < argc && std::strchr(argv[s], '=') != nullptr; ++s) {
            const std::string text = argv[s];
            const std::string symbol = text.substr(0, text.find('='));
            LilvNode* node = lilv_new_string(world, symbol.c_str());
            const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, node);
            lilv_node_free(node);
            if (port == nullptr) {
                std::fprintf(stderr, "lv2_cost: %s has no control %s\n", argv[a], symbol.c_str());
                return 2;
            }
            const std::uint32_t index = lilv_port_get_index(plugin, port);
            connection.controls[index] = std::strtof(text.c_str() + symbol.size() + 1, nullptr);
            if (static_cast<std::int64_t>(index) == connection.enumerated) {
                connection.values = {connection.controls[index]};
            }
            settings += (settings.empty() ? "" : ",") + text;
        }
        if (!settings.empty()) {
            label += " " + settings;
        }
        if (connection.values.empty()) {
            connection.values.push_back(connection.enumerated < 0 ? 0.0f : connection.controls[connection.enumerated]);
        }
        for (const float value : connection.values) {
            LilvInstance* instance = lilv_plugin_instantiate(plugin, kRate, features);
            if (instance == nullptr) {
                std::fprintf(stderr, "lv2_cost: %s does not instantiate\n", argv[a]);
                status = 2;
                break;
            }
            auto own = std::make_unique<Connection>(connection);
            if (own->enumerated >= 0) {
                own->controls[static_cast<std::size_t>(own->enumerated)] = value;
            }
            for (std::uint32_t i = 0; i < ports; ++i) {
                const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
                if (lilv_port_is_a(plugin, port, nodes.control)) {
                    lilv_instance_connect_port(instance, i, &own->controls[i]);
                } else if (lilv_port_is_a(plugin, port, nodes.atom)) {
                    lilv_instance_connect_port(instance, i, own->atoms[i].data());
                }
            }
            lilv_instance_activate(instance);
            std::string setting = "default";
            if (own->enumerated >= 0) {
                const LilvPort* port =
                    lilv_plugin_get_port_by_index(plugin, static_cast<std::uint32_t>(own->enumerated));
                LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
                LILV_FOREACH(scale_points, p, points)
                {
                    const LilvScalePoint* point = lilv_scale_points_get(points, p);
                    if (lilv_node_as_float(lilv_scale_point_get_value(point)) == value) {
                        setting = lilv_node_as_string(lilv_scale_point_get_label(point));
                    }
                }
                lilv_scale_points_free(points);
            }
            entries.push_back(Entry{plugin, instance, std::move(own), label, setting, {}});
        }
    }
    // The plug-ins take turns, so that a change in the shared machine's load reaches all of them.
    for (int run = 0; run < kRuns; ++run) {
        for (Entry& entry : entries) {
            entry.times.push_back(timeOnce(entry.instance, entry.plugin, nodes, *entry.connection, audioIn, audioOut,
                                           frames, sequenceType));
        }
    }
    for (Entry& entry : entries) {
        std::sort(entry.times.begin(), entry.times.end());
        std::printf("%-40s %8s %10.1f\n", entry.label.c_str(), entry.setting.c_str(), entry.times[kRuns / 2]);
        lilv_instance_deactivate(entry.instance);
        lilv_instance_free(entry.instance);
    }
    lilv_world_free(world);
    return status;
}
