// The cost of LV2 plug-ins as a host runs them: each instantiated through lilv at 48 kHz
// with its controls at their defaults, fed stereo noise in 512-frame blocks, and timed over
// two seconds of audio after one second of warm-up, each repeated to last at least 100 and 50 ms
// of the clock, its ports connected every block as a host does. A plug-in with an enumerated control
// (the HQ shaper's Quality) is timed at each of its values. Prints nanoseconds per stereo
// frame, the median of five runs (or N), one line per plug-in, value and level, and the median of
// the runs' ratios to the first level's time at the same plug-in and value; the plug-ins and
// levels take turns, so that a ratio is taken under the same load.
//
//   lv2_cost [--runs N] [--set SYMBOL=VALUE]... [--gaussian] [--level LEVEL]... URI [SYMBOL=VALUE...]...
//
// Each --level adds a noise signal uniform in -LEVEL..LEVEL (1e-37 for a fading tail, 0.01
// for material below the knee), or with --gaussian normal with standard deviation LEVEL;
// without one, uniform noise of peak 1. --set puts every plug-in's control of that symbol at
// the value instead of its default; SYMBOL=VALUE after a URI sets that plug-in's control alone
// (an enumerated control so set is timed at that value only), so that peers can be timed at
// matched distortion. LV2_PATH as usual says
// where the plug-ins are. Exit code 2 when a URI is not found, a level is not a positive
// number, a setting is not SYMBOL=VALUE, or a plug-in does not instantiate.
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <array>
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
    std::size_t level; // index into the signals
    std::vector<double> times;
};

// What a port is, asked of the plug-in's description once: a host connects its buffers every
// block but does not query the description there, and those queries cost a plug-in as cheap as
// the first effect as much as its own work.
enum class Role { other, audioIn, audioOut, atomIn, atomOut };

// Warm-up and timing each last at least this long, the audio repeated: two seconds of it take a
// cheap plug-in a millisecond, less than a processor takes to return to the clock speed that the
// plug-in timed before left it at.
constexpr auto kWarmUp = std::chrono::milliseconds(50);
constexpr auto kTimed = std::chrono::milliseconds(100);

double timeOnce(LilvInstance* instance, const LilvPlugin* plugin, const Nodes& nodes, Connection& connection,
                std::vector<float>* audioIn, std::vector<float>* audioOut, std::size_t frames, LV2_URID sequenceType)
{
    const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
    std::vector<Role> roles(ports, Role::other);
    for (std::uint32_t i = 0; i < ports; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        const bool in = lilv_port_is_a(plugin, port, nodes.input);
        if (lilv_port_is_a(plugin, port, nodes.audio)) {
            roles[i] = in ? Role::audioIn : Role::audioOut;
        } else if (lilv_port_is_a(plugin, port, nodes.atom)) {
            roles[i] = in ? Role::atomIn : Role::atomOut;
        }
    }
    const auto runBlocks = [&](std::size_t count) {
        for (std::size_t start = 0; start + kBlock <= count; start += kBlock) {
            int inIndex = 0;
            int outIndex = 0;
            for (std::uint32_t i = 0; i < ports; ++i) {
                if (roles[i] == Role::audioIn) {
                    lilv_instance_connect_port(instance, i, audioIn[inIndex++ % 2].data() + start);
                } else if (roles[i] == Role::audioOut) {
                    lilv_instance_connect_port(instance, i, audioOut[outIndex++ % 2].data() + start);
                } else if (roles[i] == Role::atomIn || roles[i] == Role::atomOut) {
                    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(connection.atoms[i].data());
                    const bool in = roles[i] == Role::atomIn;
                    sequence->atom.type = in ? sequenceType : 0;
                    sequence->atom.size =
                        in ? sizeof(LV2_Atom_Sequence_Body)
                           : static_cast<std::uint32_t>(connection.atoms[i].size() - sizeof(LV2_Atom));
                }
            }
            lilv_instance_run(instance, kBlock);
        }
    };
    using Clock = std::chrono::steady_clock;
    const auto warming = Clock::now();
    do {
        runBlocks(static_cast<std::size_t>(kRate));
    } while (Clock::now() - warming < kWarmUp);
    std::size_t done = 0;
    const auto begin = Clock::now();
    auto end = begin;
    do {
        runBlocks(frames);
        done += frames;
        end = Clock::now();
    } while (end - begin < kTimed);
    return std::chrono::duration<double, std::nano>(end - begin).count() / static_cast<double>(done);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<float> levels;
    std::vector<const char*> uris;
    std::vector<std::vector<std::string>> ownSettings; // SYMBOL=VALUE after a URI, for that URI alone
    std::vector<std::pair<std::string, float>> settings;
    bool gaussian = false;
    int runs = 5;
    for (int a = 1; a < argc; ++a) {
        if (std::strcmp(argv[a], "--gaussian") == 0) {
            gaussian = true;
            continue;
        }
        if (std::strcmp(argv[a], "--set") == 0) {
            const char* text = a + 1 < argc ? argv[a + 1] : "";
            const char* equals = std::strchr(text, '=');
            char* end = nullptr;
            const float value = equals != nullptr ? std::strtof(equals + 1, &end) : 0.0f;
            if (equals == nullptr || equals == text || end == equals + 1 || *end != '\0') {
                std::fprintf(stderr, "lv2_cost: --set takes SYMBOL=VALUE, a control's symbol and a number\n");
                return 2;
            }
            settings.emplace_back(std::string(text, equals), value);
            ++a;
            continue;
        }
        if (std::strcmp(argv[a], "--runs") == 0) {
            runs = a + 1 < argc ? std::atoi(argv[a + 1]) : 0;
            if (runs < 1 || runs > 1000) {
                std::fprintf(stderr, "lv2_cost: --runs takes a count from 1 to 1000\n");
                return 2;
            }
            ++a;
            continue;
        }
        if (std::strcmp(argv[a], "--level") != 0) {
            if (std::strchr(argv[a], '=') != nullptr && !uris.empty()) {
                ownSettings.back().emplace_back(argv[a]);
            } else {
                uris.push_back(argv[a]);
                ownSettings.emplace_back();
            }
            continue;
        }
        char* end = nullptr;
        const float level = a + 1 < argc ? std::strtof(argv[a + 1], &end) : 0.0f;
        if (end == nullptr || *end != '\0' || !(level > 0.0f) || !std::isfinite(level)) {
            std::fprintf(stderr, "lv2_cost: --level takes a positive number, the noise's level\n");
            return 2;
        }
        levels.push_back(level);
        ++a;
    }
    if (uris.empty()) {
        std::fprintf(stderr,
                     "usage: lv2_cost [--runs N] [--set SYMBOL=VALUE]... [--gaussian] [--level LEVEL]... URI [SYMBOL=VALUE...]...\n");
        return 2;
    }
    if (levels.empty()) {
        levels.push_back(1.0f);
    }
    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    const Nodes nodes(world);
    LV2_URID_Map map{nullptr, mapUri};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature* const features[] = {&mapFeature, nullptr};
    const LV2_URID sequenceType = mapUri(nullptr, LV2_ATOM__Sequence);

    const std::size_t frames = 2 * static_cast<std::size_t>(kRate);
    // The same noise at every level, scaled.
    std::vector<std::array<std::vector<float>, 2>> signals(levels.size());
    std::vector<float> audioOut[2];
    for (int c = 0; c < 2; ++c) {
        std::mt19937 random(1 + static_cast<unsigned>(c));
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
        std::normal_distribution<float> normal(0.0f, 1.0f);
        std::vector<float> noise(std::max<std::size_t>(frames, static_cast<std::size_t>(kRate)));
        std::generate(noise.begin(), noise.end(), [&] { return gaussian ? normal(random) : unit(random); });
        for (std::size_t l = 0; l < levels.size(); ++l) {
            signals[l][static_cast<std::size_t>(c)].resize(noise.size());
            std::transform(noise.begin(), noise.end(), signals[l][static_cast<std::size_t>(c)].begin(),
                           [&](float x) { return x * levels[l]; });
        }
        audioOut[c].resize(noise.size());
    }

    std::printf("%-40s %8s %8s %10s %8s\n", "plug-in", "setting", "level", "ns/frame", "/ first");
    int status = 0;
    std::vector<Entry> entries;
    for (std::size_t u = 0; u < uris.size(); ++u) {
        const char* const uriText = uris[u];
        LilvNode* uri = lilv_new_uri(world, uriText);
        const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
        if (plugin == nullptr) {
            std::fprintf(stderr, "lv2_cost: no plug-in %s\n", uriText);
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
            const char* symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
            for (const auto& [name, value] : settings) {
                if (name == symbol && lilv_port_is_a(plugin, port, nodes.control)) {
                    connection.controls[i] = value;
                }
            }
            connection.atoms[i].resize(8192);
        }
        std::string settingText;
        for (const std::string& text : ownSettings[u]) {
            const std::string symbol = text.substr(0, text.find('='));
            LilvNode* node = lilv_new_string(world, symbol.c_str());
            const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, node);
            lilv_node_free(node);
            if (port == nullptr) {
                std::fprintf(stderr, "lv2_cost: %s has no control %s\n", uriText, symbol.c_str());
                return 2;
            }
            const std::uint32_t index = lilv_port_get_index(plugin, port);
            connection.controls[index] = std::strtof(text.c_str() + symbol.size() + 1, nullptr);
            if (static_cast<std::int64_t>(index) == connection.enumerated) {
                connection.values = {connection.controls[index]};
            }
            settingText += (settingText.empty() ? "" : ",") + text;
        }
        if (!settingText.empty()) {
            label += " " + settingText;
        }
        if (connection.values.empty()) {
            connection.values.push_back(connection.enumerated < 0 ? 0.0f : connection.controls[connection.enumerated]);
        }
        bool instantiates = true;
        for (const float value : connection.values) {
            for (std::size_t level = 0; level < levels.size() && instantiates; ++level) {
                LilvInstance* instance = lilv_plugin_instantiate(plugin, kRate, features);
                if (instance == nullptr) {
                    std::fprintf(stderr, "lv2_cost: %s does not instantiate\n", uriText);
                    status = 2;
                    instantiates = false;
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
                entries.push_back(Entry{plugin, instance, std::move(own), label, setting, level, {}});
            }
        }
    }
    // The plug-ins take turns, so that a change in the shared machine's load reaches all of them,
    // and each run starts one further along: timed always in the same place, a plug-in was seen to
    // take a quarter more or less for its place alone.
    for (int run = 0; run < runs; ++run) {
        for (std::size_t turn = 0; turn < entries.size(); ++turn) {
            Entry& entry = entries[(turn + static_cast<std::size_t>(run)) % entries.size()];
            entry.times.push_back(timeOnce(entry.instance, entry.plugin, nodes, *entry.connection,
                                           signals[entry.level].data(), audioOut, frames, sequenceType));
        }
    }
    // Each level's time over the first level's at the same plug-in and setting, run by run; the
    // median of those ratios moves less with the machine's load than a ratio of medians.
    std::vector<double> ratios(entries.size(), 1.0);
    for (std::size_t e = 0; e < entries.size(); ++e) {
        const Entry& first = entries[e - entries[e].level];
        std::vector<double> each;
        for (int run = 0; run < runs; ++run) {
            each.push_back(entries[e].times[static_cast<std::size_t>(run)] /
                           first.times[static_cast<std::size_t>(run)]);
        }
        std::sort(each.begin(), each.end());
        ratios[e] = each[runs / 2];
    }
    for (std::size_t e = 0; e < entries.size(); ++e) {
        Entry& entry = entries[e];
        std::sort(entry.times.begin(), entry.times.end());
        std::printf("%-40s %8s %8.3g %10.1f %8.2f\n", entry.label.c_str(), entry.setting.c_str(), levels[entry.level],
                    entry.times[runs / 2], ratios[e]);
        lilv_instance_deactivate(entry.instance);
        lilv_instance_free(entry.instance);
    }
    lilv_world_free(world);
    return status;
}
