// SoftKneeShaper HQ as a host sees it through lilv, with only the built bundle folder on its
// path: its description and presets, its reported latency against the delay it has, and its
// output against the core's at the same settings.
#include "descriptor.h"
#include "hq_lv2_ports.h"
#include "module_loader.h"
#include "soft_knee_hq.h"
#include "soft_knee_hq_presets.h"
#include "vst_reference.h"

#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>
#include <xmmintrin.h>

#if defined(LV2_TEST_COUNTS_AUDIO_PATH)
#include "audio_path_counter.h"
#endif

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr char kUri[] = "urn:softkneeshaper:lv2:hq";
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr double kRate = 48000.0;

struct World {
    World() : world(lilv_world_new())
    {
        LilvNode* path = lilv_new_string(world, LV2_BUNDLE_PARENT);
        lilv_world_set_option(world, LILV_OPTION_LV2_PATH, path);
        lilv_node_free(path);
        lilv_world_load_all(world);
        LilvNode* uri = lilv_new_uri(world, kUri);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
    }
    ~World() { lilv_world_free(world); }
    LilvNode* node(const char* uri) const { return lilv_new_uri(world, uri); }

    LilvWorld* world;
    const LilvPlugin* plugin = nullptr;
};

World& hq()
{
    static World shared;
    return shared;
}

using Settings = std::vector<float>; // one value per control in kHqControls order; the rest initial

// The value of every control: those given, then the initial values of the others.
float settingOf(const Settings& settings, std::int32_t control)
{
    const auto index = static_cast<std::size_t>(control);
    return index < settings.size() ? settings[index] : kHqControls[control].range.initial;
}

// A running instance with its controls and latency port connected; audio is connected per block.
class HqPlugin {
public:
    explicit HqPlugin(const Settings& settings, double rate = kRate, const LV2_Feature* const* features = nullptr)
        : instance(lilv_plugin_instantiate(hq().plugin, rate, features))
    {
        if (instance == nullptr) {
            throw std::runtime_error("the plug-in did not instantiate");
        }
        for (std::int32_t control = 0; control < kHqControlCount; ++control) {
            controls[control] = settingOf(settings, control);
            lilv_instance_connect_port(instance, hqLv2PortOf(control), &controls[control]);
        }
        lilv_instance_connect_port(instance, kHqLv2Latency, &latency);
        lilv_instance_connect_port(instance, kHqLv2Enabled, &enabled);
        lilv_instance_activate(instance);
    }
    ~HqPlugin()
    {
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }
    void connect(std::uint32_t port, void* data) { lilv_instance_connect_port(instance, port, data); }
    void run(std::uint32_t frames) { lilv_instance_run(instance, frames); }

    float controls[kHqControlCount] = {};
    float latency = -1.0f;
    float enabled = 1.0f;
    LilvInstance* instance;
};

struct Stereo {
    std::vector<float> left, right;
};

// Seeded loud noise with the values a careless source delivers mixed in.
Stereo seededSignal(std::size_t frames, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> level(-3.0f, 3.0f);
    const float specials[] = {0.0f, -0.0f, 1e-40f, 1e30f, -1e30f, kInf, -kInf, kNaN, 3.4e38f};
    Stereo signal;
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::vector<float>* channel : {&signal.left, &signal.right}) {
            channel->push_back(random() % 16 == 0 ? specials[random() % std::size(specials)] : level(random));
        }
    }
    return signal;
}

// The plug-in's output over the signal in the given blocks; with inPlace the output is
// written over the input buffers. changeAt: the block from which the second settings apply.
Stereo renderPlugin(HqPlugin& plugin, Stereo signal, const std::vector<std::uint32_t>& blocks, bool inPlace,
                    const Settings* later = nullptr, std::size_t changeAt = 0)
{
    Stereo out{std::vector<float>(signal.left.size(), 7.0f), std::vector<float>(signal.left.size(), 7.0f)};
    Stereo& target = inPlace ? signal : out;
    std::size_t done = 0;
    for (std::size_t b = 0; done < signal.left.size(); ++b) {
        if (later != nullptr && b == changeAt) {
            for (std::int32_t control = 0; control < kHqControlCount; ++control) {
                plugin.controls[control] = settingOf(*later, control);
            }
        }
        const auto count =
            static_cast<std::uint32_t>(std::min<std::size_t>(blocks[b % blocks.size()], signal.left.size() - done));
        plugin.connect(kHqLv2InLeft, signal.left.data() + done);
        plugin.connect(kHqLv2InRight, signal.right.data() + done);
        plugin.connect(kHqLv2OutLeft, target.left.data() + done);
        plugin.connect(kHqLv2OutRight, target.right.data() + done);
        plugin.run(count);
        done += count;
    }
    return target;
}

// The core's output at the same settings in the same blocks, as the plug-in drives it.
Stereo renderCore(const Settings& settings, Stereo signal, const std::vector<std::uint32_t>& blocks,
                  const Settings* later = nullptr, std::size_t changeAt = 0)
{
    SoftKneeHq core(kRate);
    const auto set = [&](const Settings& values) {
        for (std::int32_t control = 0; control < kHqControlCount; ++control) {
            setHqControl(core, control, settingOf(values, control));
        }
    };
    set(settings);
    core.reset();
    std::size_t done = 0;
    for (std::size_t b = 0; done < signal.left.size(); ++b) {
        if (later != nullptr && b == changeAt) {
            set(*later);
        }
        const auto count =
            static_cast<std::int32_t>(std::min<std::size_t>(blocks[b % blocks.size()], signal.left.size() - done));
        core.process(signal.left.data() + done, signal.right.data() + done, signal.left.data() + done,
                     signal.right.data() + done, count);
        done += static_cast<std::size_t>(count);
    }
    return signal;
}

long firstDifference(const std::vector<float>& expected, const std::vector<float>& actual)
{
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (std::bit_cast<std::uint32_t>(expected[i]) != std::bit_cast<std::uint32_t>(actual[i]) ||
            !std::isfinite(actual[i])) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

Settings defaults()
{
    Settings values;
    for (const HqControl& control : kHqControls) {
        values.push_back(control.range.initial);
    }
    return values;
}

TEST(Lv2Hq, DescribesItsPortsRangesDefaultsUnitsAndLatencyToHosts)
{
    World& world = hq();
    ASSERT_NE(world.plugin, nullptr) << "no plug-in " << kUri << " in " << LV2_BUNDLE_PARENT;
    EXPECT_TRUE(lilv_plugin_verify(world.plugin));
    LilvNode* name = lilv_plugin_get_name(world.plugin);
    EXPECT_STREQ(lilv_node_as_string(name), "SoftKneeShaper HQ");
    lilv_node_free(name);
    LilvNodes* required = lilv_plugin_get_required_features(world.plugin);
    EXPECT_EQ(lilv_nodes_size(required), 0u) << "lv2apply and plughost pass no features";
    lilv_nodes_free(required);
    EXPECT_EQ(lilv_plugin_get_latency_port_index(world.plugin), kHqLv2Latency);

    struct Expected {
        std::uint32_t port;
        const char* symbol;
        float minimum, fallback, maximum; // fallback -1: no default
        const char* unit;
    };
    // Ports keep their numbers: those added since the first six controls come after the audio.
    const Expected expected[] = {{0, "boost", 1, 1, 11, "coef"},      {1, "knee", 0, 0.5f, 1, "coef"},
                                 {2, "hardness", 0, 0, 1, "coef"},    {3, "output", -24, 0, 24, "db"},
                                 {4, "mix", 0, 100, 100, "pc"},       {5, "quality", 0, 3, 4, nullptr},
                                 {6, "latency", 84, -1, 84, "frame"}, {11, "auto_gain", 0, 0, 1, nullptr},
                                 {12, "ceiling", -12, 1, 1, "db"},    {13, "enabled", 0, 1, 1, nullptr}};
    ASSERT_EQ(lilv_plugin_get_num_ports(world.plugin), kHqLv2PortCount);
    LilvNode* unit = world.node("http://lv2plug.in/ns/extensions/units#unit");
    for (const Expected& port : expected) {
        SCOPED_TRACE(port.symbol);
        const LilvPort* found = lilv_plugin_get_port_by_index(world.plugin, port.port);
        EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(world.plugin, found)), port.symbol);
        LilvNode *fallback = nullptr, *minimum = nullptr, *maximum = nullptr;
        lilv_port_get_range(world.plugin, found, &fallback, &minimum, &maximum);
        EXPECT_EQ(lilv_node_as_float(minimum), port.minimum);
        EXPECT_EQ(lilv_node_as_float(maximum), port.maximum);
        EXPECT_EQ(fallback ? lilv_node_as_float(fallback) : -1.0f, port.fallback) << "default";
        lilv_node_free(fallback);
        lilv_node_free(minimum);
        lilv_node_free(maximum);
        LilvNodes* units = lilv_port_get_value(world.plugin, found, unit);
        EXPECT_EQ(units ? lilv_node_as_uri(lilv_nodes_get_first(units)) : std::string(),
                  port.unit ? std::string("http://lv2plug.in/ns/extensions/units#") + port.unit : std::string());
        lilv_nodes_free(units);
    }
    lilv_node_free(unit);
    LilvNode* enabled = world.node("http://lv2plug.in/ns/lv2core#enabled");
    const LilvPort* bypass = lilv_plugin_get_port_by_designation(world.plugin, nullptr, enabled);
    lilv_node_free(enabled);
    EXPECT_EQ(bypass != nullptr ? lilv_port_get_index(world.plugin, bypass) : 0u, kHqLv2Enabled);
}

// At a linear setting an impulse comes out, at its full height, exactly where the latency
// port says, at every Quality and rate; a plug-in that reports one frame more or less fails.
TEST(Lv2Hq, LatencyPortEqualsTheDelayOfAnImpulseAtEveryQuality)
{
    ASSERT_NE(hq().plugin, nullptr);
    for (const double rate : {44100.0, 48000.0, 96000.0}) {
        for (int quality = 0; quality < kHqQualityCount; ++quality) {
            SCOPED_TRACE(::testing::Message() << "rate " << rate << " quality " << quality);
            HqPlugin plugin({1.0f, 1.0f, 0.0f, 0.0f, 100.0f, static_cast<float>(quality)}, rate);
            plugin.run(0);
            ASSERT_EQ(plugin.latency, 84.0f) << "reported before any audio";
            Stereo impulse{std::vector<float>(1000), std::vector<float>(1000)};
            impulse.left[100] = 0.5f;
            impulse.right[100] = -0.25f;
            const Stereo out = renderPlugin(plugin, impulse, {256}, false);
            std::size_t peak = 0;
            for (std::size_t i = 0; i < out.left.size(); ++i) {
                peak = std::fabs(out.left[i]) > std::fabs(out.left[peak]) ? i : peak;
            }
            EXPECT_EQ(static_cast<float>(peak) - 100.0f, plugin.latency);
            EXPECT_NEAR(out.left[peak], 0.5f, 0.01f);
            EXPECT_NEAR(out.right[peak], -0.25f, 0.005f);
        }
    }
}

// Every setting row, in odd blocks separate or in place, with a change of all controls
// halfway, gives the bits the core gives when driven alike; no row gives NaN or infinity.
TEST(Lv2Hq, OutputEqualsTheCoreBitForBitAtAnySettingAndBuffers)
{
    ASSERT_NE(hq().plugin, nullptr);
    std::vector<Settings> rows = {defaults(),
                                  {11.0f, 0.0f, 1.0f, 24.0f, 100.0f, 4.0f},
                                  {11.0f, 1.0f, 0.5f, -24.0f, 0.0f, 0.0f},
                                  {3.3f, 0.2f, 0.7f, 6.0f, 50.0f, 1.4f},
                                  {kNaN, kNaN, kNaN, kNaN, kNaN, kNaN},
                                  {kInf, -kInf, kInf, kInf, -kInf, kInf},
                                  {-kInf, kInf, -kInf, -kInf, kInf, -kInf},
                                  {-5.0f, 2.0f, -1.0f, 1e30f, 1e9f, -3.0f},
                                  {1e30f, -1e30f, 2.0f, -1e30f, -50.0f, 99.0f},
                                  {1.0f, 0.5f, 0.0f, 0.0f, 100.0f, 2.5f}};
    for (const HqPreset& preset : kHqPresets) {
        rows.emplace_back(preset.values, preset.values + kHqControlCount);
    }
    const Stereo signal = seededSignal(3001, 7);
    const std::vector<std::uint32_t> blocks = {1, 63, 64, 65, 700, 3};
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const Settings& later = rows[(r + 3) % rows.size()];
        for (const bool inPlace : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "row " << r << (inPlace ? " in place" : " separate"));
            HqPlugin plugin(rows[r]);
            const Stereo expected = renderCore(rows[r], signal, blocks, &later, 4);
            const Stereo out = renderPlugin(plugin, signal, blocks, inPlace, &later, 4);
            ASSERT_EQ(firstDifference(expected.left, out.left), -1);
            ASSERT_EQ(firstDifference(expected.right, out.right), -1);
        }
    }
}

// The presets the bundle lists load through lilv_state with their names, set every control
// to the preset's values, and the plug-in then renders what the core renders at those values.
TEST(Lv2Hq, PresetsLoadWithTheirNamesAndRenderTheirSettings)
{
    World& world = hq();
    ASSERT_NE(world.plugin, nullptr);
    LilvNode* presetClass = world.node(LV2_PRESETS__Preset);
    LilvNodes* presets = lilv_plugin_get_related(world.plugin, presetClass);
    EXPECT_EQ(lilv_nodes_size(presets), std::size(kHqPresets));
    const Stereo signal = seededSignal(2000, 3);
    static std::vector<std::string> mapped = {"", LV2_ATOM__Float};
    LV2_URID_Map map{nullptr, [](LV2_URID_Map_Handle, const char* uri) {
                         const auto found = std::find(mapped.begin(), mapped.end(), uri);
                         if (found == mapped.end()) {
                             mapped.emplace_back(uri);
                             return static_cast<LV2_URID>(mapped.size() - 1);
                         }
                         return static_cast<LV2_URID>(found - mapped.begin());
                     }};
    for (const HqPreset& preset : kHqPresets) {
        SCOPED_TRACE(preset.name);
        LilvNode* uri = world.node((std::string(kHqLv2PresetPrefix) + preset.id).c_str());
        EXPECT_TRUE(lilv_nodes_contains(presets, uri));
        ASSERT_GE(lilv_world_load_resource(world.world, uri), 0);
        LilvState* state = lilv_state_new_from_world(world.world, &map, uri);
        lilv_node_free(uri);
        ASSERT_NE(state, nullptr);
        EXPECT_STREQ(lilv_state_get_label(state), preset.name);
        EXPECT_EQ(lilv_state_get_num_properties(state), 0u);
        HqPlugin plugin(Settings(kHqControlCount, kNaN));
        int set = 0;
        struct Target {
            HqPlugin* plugin;
            int* set;
        } target{&plugin, &set};
        lilv_state_restore(
            state, plugin.instance,
            [](const char* symbol, void* data, const void* value, std::uint32_t size, std::uint32_t type) {
                auto* to = static_cast<Target*>(data);
                for (std::int32_t control = 0; control < kHqControlCount; ++control) {
                    if (std::strcmp(symbol, kHqControls[control].symbol) == 0 && size == sizeof(float) && type == 1) {
                        std::memcpy(&to->plugin->controls[control], value, sizeof(float));
                        ++*to->set;
                    }
                }
            },
            &target, 0, nullptr);
        lilv_state_free(state);
        EXPECT_EQ(set, kHqControlCount);
        const Settings values(preset.values, preset.values + kHqControlCount);
        const Stereo expected = renderCore(values, signal, {512});
        const Stereo out = renderPlugin(plugin, signal, {512}, false);
        EXPECT_EQ(firstDifference(expected.left, out.left), -1);
        EXPECT_EQ(firstDifference(expected.right, out.right), -1);
    }
    lilv_nodes_free(presets);
    lilv_node_free(presetClass);
}

// Unconnected controls act at their defaults, a run of zero frames or with an audio port
// unconnected touches no audio but still reports the latency, and a block of a million
// frames equals the core's output in ordinary blocks.
TEST(Lv2Hq, UnconnectedPortsZeroFramesAndHugeBlocks)
{
    ASSERT_NE(hq().plugin, nullptr);
    int unknownData = 0;
    const LV2_Feature unknown = {"urn:example:no-such-feature", &unknownData};
    const LV2_Feature* const features[] = {&unknown, nullptr};
    HqPlugin plugin({11.0f, 0.0f, 1.0f, 24.0f, 0.0f, 0.0f}, kRate, features);
    for (std::uint32_t port = 0; port <= kHqLv2Latency; ++port) {
        plugin.connect(port, nullptr);
    }
    const Stereo signal = seededSignal(1 << 20, 5);
    Stereo out{std::vector<float>(signal.left.size(), 7.0f), std::vector<float>(signal.left.size(), 7.0f)};
    const Stereo untouched = out;
    plugin.connect(kHqLv2InLeft, const_cast<float*>(signal.left.data()));
    plugin.connect(kHqLv2InRight, const_cast<float*>(signal.right.data()));
    plugin.connect(kHqLv2OutLeft, out.left.data());
    plugin.run(1000);
    plugin.connect(kHqLv2Latency, &plugin.latency);
    plugin.run(0);
    EXPECT_EQ(plugin.latency, 84.0f);
    plugin.connect(kHqLv2OutRight, out.right.data());
    plugin.run(0);
    EXPECT_EQ(firstDifference(untouched.left, out.left), -1);
    EXPECT_EQ(firstDifference(untouched.right, out.right), -1);
    plugin.run(static_cast<std::uint32_t>(signal.left.size()));
    const Stereo expected = renderCore(defaults(), signal, {512});
    EXPECT_EQ(firstDifference(expected.left, out.left), -1);
    EXPECT_EQ(firstDifference(expected.right, out.right), -1);
}

// A host's MXCSR as it runs the plug-in: its rounding, flush and mask bits and its sticky flags
// are as it left them after every run, and the output is the default mode's, bit for bit.
TEST(Lv2Hq, RunChangesTheHostsFloatingPointEnvironmentOrDependsOnIt)
{
    ASSERT_NE(hq().plugin, nullptr);
    const Stereo signal = seededSignal(2000, 13);
    // Default; flush to zero and denormals are zero; toward zero with every flag raised; down
    // with the inexact flag; invalid operation and division by zero unmasked.
    const unsigned int modes[] = {0x1f80u, 0x9fc0u, 0x7fbfu, 0x3fa0u, 0x1d00u};
    for (const float quality : {1.0f, 3.0f}) {
        Stereo expected;
        for (const unsigned int mode : modes) {
            SCOPED_TRACE(::testing::Message() << "MXCSR " << std::hex << mode << ", quality " << quality);
            HqPlugin plugin({11.0f, 0.3f, 0.4f, -3.3f, 70.0f, quality});
            const unsigned int saved = _mm_getcsr();
            _mm_setcsr(mode);
            const Stereo out = renderPlugin(plugin, signal, {512, 77, 1}, false);
            const unsigned int after = _mm_getcsr();
            _mm_setcsr(saved);
            EXPECT_EQ(after, mode);
            expected = mode == modes[0] ? out : expected;
            EXPECT_EQ(firstDifference(expected.left, out.left), -1);
            EXPECT_EQ(firstDifference(expected.right, out.right), -1);
        }
    }
}

#if defined(LV2_TEST_COUNTS_AUDIO_PATH)
// run, with every control and the Quality changing between calls and blocks of every length,
// calls no allocator and takes no lock.
TEST(Lv2Hq, RunAllocatesNothingAndLocksNothing)
{
    ASSERT_NE(hq().plugin, nullptr);
    ASSERT_TRUE(plughost::audioPathCountingAvailable());
    Stereo signal = seededSignal(4096, 11);
    HqPlugin plugin(defaults());
    const float values[] = {1.0f, 11.0f, 0.5f, -1.0f, kNaN, 30.0f, 4.0f};
    const plughost::AudioPathCounts before = plughost::audioPathCounts();
    {
        const plughost::AudioPathWatch watch;
        for (std::uint32_t frames : {0u, 1u, 7u, 64u, 4096u}) {
            for (const float value : values) {
                std::fill(std::begin(plugin.controls), std::end(plugin.controls), value);
                plugin.connect(kHqLv2InLeft, signal.left.data());
                plugin.connect(kHqLv2InRight, signal.right.data());
                plugin.connect(kHqLv2OutLeft, signal.left.data());
                plugin.connect(kHqLv2OutRight, signal.right.data());
                plugin.run(frames);
            }
        }
    }
    const plughost::AudioPathCounts after = plughost::audioPathCounts();
    EXPECT_EQ(after.allocations - before.allocations, 0u);
    EXPECT_EQ(after.locks - before.locks, 0u);
}
#endif

// The HQ VST module, loaded from its file and given host values of 0 to 1 through its record,
// renders the plug-in's bits at the same settings in the controls' units: a grid of Boost,
// Knee and Hardness, with Output, Mix and Quality taking each of their rows in turn.
TEST(Lv2Hq, VstModuleRendersThePluginsBitsAtAGridOfSettings)
{
    ASSERT_NE(hq().plugin, nullptr);
    LoadedModule module(HQ_MODULE_PATH);
    using EntryPoint = AEffect*(EFFECT_CALL*)(audioMasterCallback);
    const auto entry = module.find<EntryPoint>("main");
    ASSERT_NE(entry, nullptr) << HQ_MODULE_PATH << ": " << LoadedModule::lastError();
    const audioMasterCallback host = [](AEffect*, std::int32_t opcode, std::int32_t, std::intptr_t, void*,
                                        float) -> std::intptr_t { return opcode == audioMasterVersion ? 2400 : 0; };
    // Host values, and the same in the controls' units: Boost 1 + 10 v, Output -24 + 48 v,
    // Mix 100 v, Quality 4 v.
    const float boosts[][2] = {{0.0f, 1.0f}, {0.5f, 6.0f}, {1.0f, 11.0f}};
    const float knees[] = {0.1f, 0.5f, 1.0f};
    const float hardnesses[] = {0.0f, 0.5f, 1.0f};
    const float rest[][3][2] = {{{0.5f, 0.0f}, {1.0f, 100.0f}, {0.75f, 3.0f}},
                                {{0.25f, -12.0f}, {0.5f, 50.0f}, {1.0f, 4.0f}},
                                {{0.625f, 6.0f}, {1.0f, 100.0f}, {0.0f, 0.0f}},
                                {{0.5f, 0.0f}, {0.25f, 25.0f}, {0.25f, 1.0f}},
                                {{0.75f, 12.0f}, {1.0f, 100.0f}, {0.5f, 2.0f}}};
    const Stereo signal = seededSignal(2500, 11);
    const std::vector<std::uint32_t> blocks = {512, 77, 1, 64};
    int row = 0;
    for (const auto& boost : boosts) {
        for (const float knee : knees) {
            for (const float hardness : hardnesses) {
                const auto& [output, mix, quality] = rest[row++ % std::size(rest)];
                SCOPED_TRACE(::testing::Message()
                             << "Boost " << boost[1] << " Knee " << knee << " Hardness " << hardness << " Output "
                             << output[1] << " Mix " << mix[1] << " Quality " << quality[1]);
                HqPlugin plugin({boost[1], knee, hardness, output[1], mix[1], quality[1]});
                const Stereo want = renderPlugin(plugin, signal, blocks, false);

                AEffect* effect = entry(host);
                ASSERT_NE(effect, nullptr);
                const float values[] = {boost[0], knee, hardness, output[0], mix[0], quality[0]};
                for (std::int32_t index = 0; index < 6; ++index) {
                    effect->setParameter(effect, index, values[index]);
                }
                effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
                effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
                Stereo got = signal;
                for (std::size_t done = 0, b = 0; done < got.left.size(); ++b) {
                    const auto count = std::min<std::size_t>(blocks[b % blocks.size()], got.left.size() - done);
                    float* channels[] = {got.left.data() + done, got.right.data() + done};
                    effect->processReplacing(effect, channels, channels, static_cast<std::int32_t>(count));
                    done += count;
                }
                effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
                ASSERT_EQ(firstDifference(want.left, got.left), -1);
                ASSERT_EQ(firstDifference(want.right, got.right), -1);
            }
        }
    }
}

// The enabled port, as a host's bypass button drives it: off, on and off again in the middle
// of blocks, the plug-in gives the core's bits with its bypass set alike, and once faded out
// at a linear setting the output is the input delayed by the latency it reports, exactly.
TEST(Lv2Hq, EnabledPortBypassesAsTheCoreAndKeepsTheLatency)
{
    ASSERT_NE(hq().plugin, nullptr);
    const Settings linear = {1.0f, 1.0f, 0.0f, 0.0f, 100.0f, 3.0f};
    HqPlugin plugin(linear);
    SoftKneeHq core(kRate);
    for (std::int32_t control = 0; control < kHqControlCount; ++control) {
        setHqControl(core, control, settingOf(linear, control));
    }
    core.reset();
    Stereo signal = seededSignal(6000, 17);
    // The effect takes a non-finite sample as silence and a subnormal one as zero, bypassed too.
    for (auto* channel : {&signal.left, &signal.right}) {
        for (float& x : *channel) {
            x = std::isfinite(x) && std::fabs(x) >= std::numeric_limits<float>::min() ? std::clamp(x, -0.9f, 0.9f)
                                                                                      : 0.0f;
        }
    }
    Stereo out = signal;
    Stereo expected = signal;
    for (std::size_t done = 0, block = 0; done < signal.left.size(); done += 500, ++block) {
        const bool bypassed = block >= 3 && block < 8;
        plugin.enabled = bypassed ? 0.0f : 1.0f;
        core.setBypass(bypassed);
        plugin.connect(kHqLv2InLeft, signal.left.data() + done);
        plugin.connect(kHqLv2InRight, signal.right.data() + done);
        plugin.connect(kHqLv2OutLeft, out.left.data() + done);
        plugin.connect(kHqLv2OutRight, out.right.data() + done);
        plugin.run(500);
        core.process(expected.left.data() + done, expected.right.data() + done, expected.left.data() + done,
                     expected.right.data() + done, 500);
    }
    EXPECT_EQ(plugin.latency, 84.0f);
    EXPECT_EQ(firstDifference(expected.left, out.left), -1);
    EXPECT_EQ(firstDifference(expected.right, out.right), -1);
    // Bypassed from frame 1500; the 10 ms fade is over by 1980.
    for (std::size_t i = 1980; i < 4000; ++i) {
        ASSERT_EQ(out.left[i], signal.left[i - 84]) << "frame " << i;
        ASSERT_EQ(out.right[i], signal.right[i - 84]) << "frame " << i;
    }
}

// A new VST instance and a new LV2 instance, each as a host makes it (the LV2 controls at the
// port defaults, the VST effect untouched after its start), give the same first output.
TEST(Lv2Hq, NewVstAndLv2InstancesStartAlike)
{
    ASSERT_NE(hq().plugin, nullptr);
    VstReference vst(HQ_MODULE_PATH);
    HqPlugin plugin(defaults());
    Stereo signal = seededSignal(4000, 19);
    for (auto* channel : {&signal.left, &signal.right}) {
        for (float& x : *channel) {
            x = std::isfinite(x) ? std::clamp(x * 0.3f, -1.0f, 1.0f) : 0.0f;
        }
    }
    const Stereo want = renderPlugin(plugin, signal, {4000}, false);
    Stereo got;
    vst.render(signal.left, signal.right, got.left, got.right);
    EXPECT_EQ(firstDifference(want.left, got.left), -1);
    EXPECT_EQ(firstDifference(want.right, got.right), -1);
}

} // namespace
