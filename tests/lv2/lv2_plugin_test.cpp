// The LV2 plug-in as a host sees it through lilv, with only the built bundle folder on
// its path: its description, and its output against the VST module's processReplacing.
#include "project_version.h"
#include "vst_reference.h"

#include <gtest/gtest.h>
#include <lilv/lilv.h>

#if defined(LV2_TEST_COUNTS_AUDIO_PATH)
#include "audio_path_counter.h"
#endif

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr char kUri[] = "urn:softkneeshaper:lv2:shaper";
constexpr char kLv2[] = "http://lv2plug.in/ns/lv2core#";
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

enum Port : std::uint32_t { kBoost, kKnee, kHardness, kInLeft, kInRight, kOutLeft, kOutRight, kPortCount };

// One lilv world for the whole program, reading the bundle folder and nothing else.
class Lv2World {
public:
    Lv2World() : world(lilv_world_new())
    {
        LilvNode* path = lilv_new_string(world, LV2_BUNDLE_PARENT);
        lilv_world_set_option(world, LILV_OPTION_LV2_PATH, path);
        lilv_node_free(path);
        lilv_world_load_all(world);
        LilvNode* uri = lilv_new_uri(world, kUri);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
    }
    ~Lv2World() { lilv_world_free(world); }
    Lv2World(const Lv2World&) = delete;
    Lv2World& operator=(const Lv2World&) = delete;

    // A node for a term of the LV2 core vocabulary; the caller frees it.
    LilvNode* core(const std::string& term) const { return lilv_new_uri(world, (std::string(kLv2) + term).c_str()); }

    LilvWorld* world;
    const LilvPlugin* plugin = nullptr;
};

Lv2World& lv2()
{
    static Lv2World shared;
    return shared;
}

// A running instance of the plug-in with all seven ports connected.
class Lv2Shaper {
public:
    explicit Lv2Shaper(double sampleRate = 48000.0, const LV2_Feature* const* features = nullptr)
        : instance(lilv_plugin_instantiate(lv2().plugin, sampleRate, features))
    {
        if (instance == nullptr) {
            throw std::runtime_error("the plug-in did not instantiate");
        }
        for (std::uint32_t port = kBoost; port <= kHardness; ++port) {
            lilv_instance_connect_port(instance, port, &controls[port]);
        }
        lilv_instance_activate(instance);
    }
    ~Lv2Shaper()
    {
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }
    Lv2Shaper(const Lv2Shaper&) = delete;
    Lv2Shaper& operator=(const Lv2Shaper&) = delete;

    void connect(Port port, void* data) { lilv_instance_connect_port(instance, port, data); }

    void run(std::uint32_t frames) { lilv_instance_run(instance, frames); }

    // Runs over the buffers as they are connected, in blocks of the given lengths in turn.
    void runInBlocks(const std::vector<float*>& ports, std::size_t frames, const std::vector<std::uint32_t>& blocks)
    {
        std::size_t done = 0;
        for (std::size_t b = 0; done < frames; ++b) {
            const auto count =
                static_cast<std::uint32_t>(std::min<std::size_t>(blocks[b % blocks.size()], frames - done));
            for (std::uint32_t port = kInLeft; port < kPortCount; ++port) {
                connect(static_cast<Port>(port), ports[port - kInLeft] + done);
            }
            lilv_instance_run(instance, count);
            done += count;
        }
    }

    float controls[3] = {1.0f, 0.5f, 0.0f};

private:
    LilvInstance* instance;
};

// Seeded stereo test signal: mostly -3..3, crossing the knee at every setting, with the
// values a careless source delivers mixed in.
struct Signal {
    std::vector<float> left, right;
};

Signal seededSignal(std::size_t frames, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> level(-3.0f, 3.0f);
    const float specials[] = {0.0f,
                              -0.0f,
                              0.5f,
                              -0.5f,
                              1.0f,
                              1e-40f,
                              -1e-42f,
                              1e30f,
                              -1e30f,
                              kInf,
                              -kInf,
                              kNaN,
                              std::numeric_limits<float>::max(),
                              std::numeric_limits<float>::min()};
    Signal signal;
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::vector<float>* channel : {&signal.left, &signal.right}) {
            const bool special = random() % 16 == 0;
            channel->push_back(special ? specials[random() % std::size(specials)] : level(random));
        }
    }
    return signal;
}

std::uint32_t bits(float value)
{
    return std::bit_cast<std::uint32_t>(value);
}

// The index of the first sample whose bits differ, or -1.
long firstDifference(const std::vector<float>& expected, const std::vector<float>& actual)
{
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (bits(expected[i]) != bits(actual[i])) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

// The boost the VST effect stores for a normalised value: value*10 + 1 in double, rounded once.
float storedBoost(float normalised)
{
    return static_cast<float>(static_cast<double>(normalised) * 10.0 + 1.0);
}

TEST(Lv2Plugin, FoundByItsUriWithItsNameClassFeaturesAndVersion)
{
    Lv2World& world = lv2();
    ASSERT_NE(world.plugin, nullptr) << "no plug-in " << kUri << " in " << LV2_BUNDLE_PARENT;
    // This bundle and the HQ effect's beside it.
    EXPECT_EQ(lilv_plugins_size(lilv_world_get_all_plugins(world.world)), 2u);
    const LilvPlugin* plugin = world.plugin;
    EXPECT_TRUE(lilv_plugin_verify(plugin));

    LilvNode* name = lilv_plugin_get_name(plugin);
    EXPECT_STREQ(lilv_node_as_string(name), kProjectName);
    lilv_node_free(name);
    EXPECT_TRUE(std::string(lilv_node_as_uri(lilv_plugin_get_bundle_uri(plugin))).ends_with("/SoftKneeShaper.lv2/"));

    LilvNode* maker = lilv_plugin_get_author_name(plugin);
    ASSERT_NE(maker, nullptr) << "no doap:maintainer with a foaf:name";
    EXPECT_STREQ(lilv_node_as_string(maker), (std::string("The ") + kProjectName + " authors").c_str());
    lilv_node_free(maker);

    // The LV2 version from the project's: both parts even and the minor one above zero, since
    // LV2 hosts may hide odd versions and minor 0 as development versions.
    const int minorVersion = 2 * (100 * kProjectVersionMajor + kProjectVersionMinor);
    const int microVersion = 2 * kProjectVersionPatch;
    EXPECT_TRUE(minorVersion > 0 && minorVersion % 2 == 0 && microVersion % 2 == 0);
    struct Statement {
        const char* predicate;
        std::string object; // a core term, a number written as lilv gives it, or a URI
        enum { term, number, uri } kind;
    };
    const Statement statements[] = {
        {"http://www.w3.org/1999/02/22-rdf-syntax-ns#type", "WaveshaperPlugin", Statement::term},
        {"http://lv2plug.in/ns/lv2core#optionalFeature", "hardRTCapable", Statement::term},
        {"http://lv2plug.in/ns/lv2core#minorVersion", std::to_string(minorVersion), Statement::number},
        {"http://lv2plug.in/ns/lv2core#microVersion", std::to_string(microVersion), Statement::number},
        {"http://usefulinc.com/ns/doap#license", "http://opensource.org/licenses/isc", Statement::uri},
    };
    LilvNode* subject = lilv_new_uri(world.world, kUri);
    for (const Statement& statement : statements) {
        LilvNode* predicate = lilv_new_uri(world.world, statement.predicate);
        LilvNode* object = statement.kind == Statement::term ? world.core(statement.object)
                           : statement.kind == Statement::number
                               ? lilv_new_int(world.world, std::stoi(statement.object))
                               : lilv_new_uri(world.world, statement.object.c_str());
        EXPECT_TRUE(lilv_world_ask(world.world, subject, predicate, object))
            << statement.predicate << " " << statement.object;
        lilv_node_free(object);
        lilv_node_free(predicate);
    }
    lilv_node_free(subject);

    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    EXPECT_EQ(lilv_nodes_size(required), 0u) << "the plug-in must run with any feature list";
    lilv_nodes_free(required);
    LilvNode* inPlaceBroken = world.core("inPlaceBroken");
    EXPECT_FALSE(lilv_plugin_has_feature(plugin, inPlaceBroken));
    lilv_node_free(inPlaceBroken);
}

TEST(Lv2Plugin, PortsHaveTheirSymbolsNamesRangesAndDefaults)
{
    struct Expected {
        const char* symbol;
        const char* name;
        const char* kind;
        const char* direction;
        float minimum, fallback, maximum; // controls only
        const char* unit;                 // controls only
    };
    const Expected expected[kPortCount] = {
        {"boost", "Boost", "ControlPort", "InputPort", 1.0f, 1.0f, 11.0f, "coef"},
        {"knee", "Knee", "ControlPort", "InputPort", 0.0f, 0.5f, 1.0f, "coef"},
        {"hardness", "Hardness", "ControlPort", "InputPort", 0.0f, 0.0f, 1.0f, "coef"},
        {"in_left", "Left In", "AudioPort", "InputPort", 0, 0, 0, nullptr},
        {"in_right", "Right In", "AudioPort", "InputPort", 0, 0, 0, nullptr},
        {"out_left", "Left Out", "AudioPort", "OutputPort", 0, 0, 0, nullptr},
        {"out_right", "Right Out", "AudioPort", "OutputPort", 0, 0, 0, nullptr},
    };
    LilvNode* unitPredicate = lilv_new_uri(lv2().world, "http://lv2plug.in/ns/extensions/units#unit");
    Lv2World& world = lv2();
    ASSERT_NE(world.plugin, nullptr);
    ASSERT_EQ(lilv_plugin_get_num_ports(world.plugin), kPortCount);
    for (std::uint32_t index = 0; index < kPortCount; ++index) {
        const Expected& port = expected[index];
        SCOPED_TRACE(port.symbol);
        const LilvPort* found = lilv_plugin_get_port_by_index(world.plugin, index);
        ASSERT_NE(found, nullptr);
        EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(world.plugin, found)), port.symbol);
        LilvNode* name = lilv_port_get_name(world.plugin, found);
        EXPECT_STREQ(lilv_node_as_string(name), port.name);
        lilv_node_free(name);
        LilvNode* kind = world.core(port.kind);
        LilvNode* direction = world.core(port.direction);
        EXPECT_TRUE(lilv_port_is_a(world.plugin, found, kind));
        EXPECT_TRUE(lilv_port_is_a(world.plugin, found, direction));
        lilv_node_free(direction);
        lilv_node_free(kind);
        LilvNode* fallback = nullptr;
        LilvNode* minimum = nullptr;
        LilvNode* maximum = nullptr;
        lilv_port_get_range(world.plugin, found, &fallback, &minimum, &maximum);
        if (std::string(port.kind) == "ControlPort") {
            ASSERT_TRUE(fallback != nullptr && minimum != nullptr && maximum != nullptr);
            EXPECT_EQ(lilv_node_as_float(minimum), port.minimum);
            EXPECT_EQ(lilv_node_as_float(fallback), port.fallback);
            EXPECT_EQ(lilv_node_as_float(maximum), port.maximum);
        } else {
            EXPECT_TRUE(fallback == nullptr && minimum == nullptr && maximum == nullptr);
        }
        lilv_node_free(fallback);
        lilv_node_free(minimum);
        lilv_node_free(maximum);
        LilvNodes* units = lilv_port_get_value(world.plugin, found, unitPredicate);
        const std::string unit =
            units != nullptr && lilv_nodes_size(units) == 1 ? lilv_node_as_uri(lilv_nodes_get_first(units)) : "";
        EXPECT_EQ(unit, port.unit ? std::string("http://lv2plug.in/ns/extensions/units#") + port.unit : "");
        lilv_nodes_free(units);
    }
    lilv_node_free(unitPredicate);
}

// Each setting of the grid, in each buffer arrangement a host may use, run in odd
// blocks, gives the bits of the VST module's processReplacing over the whole signal.
TEST(Lv2Plugin, OutputEqualsTheVstModuleBitForBit)
{
    ASSERT_NE(lv2().plugin, nullptr);
    const Signal signal = seededSignal(5003, 20261207);
    const std::size_t frames = signal.left.size();
    const std::vector<std::uint32_t> oddBlocks = {1, 3, 17, 255, 1001, 7};
    enum class Buffers { separate, inPlace, crossed, oneInputForBoth };
    VstReference vst(SHAPER_MODULE_PATH);
    Lv2Shaper shaper;
    std::vector<float> expectedLeft, expectedRight;
    int settings = 0;
    for (const float boost : {0.0f, 0.01f, 0.1f, 0.25f, 0.5f, 0.77f, 1.0f}) {
        for (const float knee : {0.0f, 0.1f, 0.5f, 0.9f, 1.0f}) {
            for (const float hardness : {0.0f, 0.3f, 0.5f, 1.0f}) {
                vst.set(boost, knee, hardness);
                shaper.controls[kBoost] = storedBoost(boost);
                shaper.controls[kKnee] = knee;
                shaper.controls[kHardness] = hardness;
                for (const Buffers buffers :
                     {Buffers::separate, Buffers::inPlace, Buffers::crossed, Buffers::oneInputForBoth}) {
                    SCOPED_TRACE(::testing::Message() << "boost " << boost << " knee " << knee << " hardness "
                                                      << hardness << " buffers " << static_cast<int>(buffers));
                    std::vector<float> left = signal.left;
                    std::vector<float> right = buffers == Buffers::oneInputForBoth ? signal.left : signal.right;
                    vst.render(left, right, expectedLeft, expectedRight);
                    std::vector<float> outLeft(frames, -7.0f), outRight(frames, -7.0f);
                    if (buffers == Buffers::inPlace) {
                        shaper.runInBlocks({left.data(), right.data(), left.data(), right.data()}, frames, oddBlocks);
                        outLeft = left;
                        outRight = right;
                    } else if (buffers == Buffers::crossed) {
                        shaper.runInBlocks({left.data(), right.data(), right.data(), left.data()}, frames, oddBlocks);
                        outLeft = right;
                        outRight = left;
                    } else if (buffers == Buffers::oneInputForBoth) {
                        shaper.runInBlocks({left.data(), left.data(), outLeft.data(), outRight.data()}, frames,
                                           oddBlocks);
                    } else {
                        shaper.runInBlocks({left.data(), right.data(), outLeft.data(), outRight.data()}, frames,
                                           oddBlocks);
                    }
                    ASSERT_EQ(firstDifference(expectedLeft, outLeft), -1);
                    ASSERT_EQ(firstDifference(expectedRight, outRight), -1);
                }
                ++settings;
            }
        }
    }
    EXPECT_EQ(settings, 140);
}

// A careless host's control values get the VST block's limiting: out-of-range values act
// as the nearest end of the range, NaN as the default, and a finite input never gives
// NaN or infinity. The VST module gets the normalised value that stores the same field.
TEST(Lv2Plugin, BadControlValuesAreLimitedAsInTheVstBlock)
{
    ASSERT_NE(lv2().plugin, nullptr);
    Signal signal = seededSignal(1024, 99);
    std::erase_if(signal.left, [](float x) { return !std::isfinite(x); });
    std::erase_if(signal.right, [](float x) { return !std::isfinite(x); });
    const std::size_t frames = std::min(signal.left.size(), signal.right.size());
    signal.left.resize(frames);
    signal.right.resize(frames);

    const float badBoosts[] = {-kInf, -1e30f, -3.0f, 0.0f, 0.999f, 11.5f, 1e30f, kInf, kNaN, 4.0f};
    const float badUnits[] = {-kInf, -1e30f, -0.5f, -0.0f, 1.0000001f, 2.0f, 1e30f, kInf, kNaN, 0.25f};
    VstReference vst(SHAPER_MODULE_PATH);
    Lv2Shaper shaper;
    std::vector<float> expectedLeft, expectedRight;
    for (const float boost : badBoosts) {
        for (const float knee : badUnits) {
            for (const float hardness : badUnits) {
                SCOPED_TRACE(::testing::Message() << "boost " << boost << " knee " << knee << " hardness " << hardness);
                // (boost - 1) / 10 lands on the same side of the range, so the VST block limits it alike.
                const float normalised =
                    std::isfinite(boost) ? static_cast<float>((static_cast<double>(boost) - 1.0) / 10.0) : boost;
                vst.set(normalised, knee, hardness);
                vst.render(signal.left, signal.right, expectedLeft, expectedRight);
                shaper.controls[kBoost] = boost;
                shaper.controls[kKnee] = knee;
                shaper.controls[kHardness] = hardness;
                std::vector<float> outLeft(frames), outRight(frames);
                shaper.runInBlocks({signal.left.data(), signal.right.data(), outLeft.data(), outRight.data()}, frames,
                                   {static_cast<std::uint32_t>(frames)});
                for (std::size_t i = 0; i < frames; ++i) {
                    ASSERT_TRUE(std::isfinite(outLeft[i]) && std::isfinite(outRight[i])) << "frame " << i;
                }
                ASSERT_EQ(firstDifference(expectedLeft, outLeft), -1);
                ASSERT_EQ(firstDifference(expectedRight, outRight), -1);
            }
        }
    }
}

// The gain a block applies: at Knee 1 an input of 1/16 passes the curve as boost / 16,
// which a power of two leaves exact.
float gainOfABlock(const std::function<void(const float*, float*)>& block)
{
    const float input = 0x1p-4f;
    float output = 0.0f;
    block(&input, &output);
    return output * 16.0f;
}

// Every boost control from 3.5 to 11, where ten times a step of the VST module's 0-to-1
// values is at places wider than a step of the gains, runs as a gain that the VST module
// forms from some value: itself where one forms it, and each float that none forms (4.4 %
// of the floats from 1 to 11) as the VST module's gain for the value (boost - 1) / 10, a
// neighbour of the control.
TEST(Lv2Plugin, EveryBoostFromThreeAndAHalfUpIsAGainTheVstModuleForms)
{
    ASSERT_NE(lv2().plugin, nullptr);
    const std::uint32_t low = bits(3.5f);
    const std::uint32_t high = bits(11.0f);
    std::vector<bool> formed(high - low + 1);
    for (std::uint32_t value = bits(0.2499f); value <= bits(1.0f); ++value) {
        const float boost = storedBoost(std::bit_cast<float>(value));
        if (boost >= 3.5f) {
            formed[bits(boost) - low] = true;
        }
    }
    VstReference vst(SHAPER_MODULE_PATH);
    Lv2Shaper shaper;
    shaper.controls[kKnee] = 1.0f;
    shaper.controls[kHardness] = 0.0f;
    std::vector<float> in(1), out(1), vstOut;
    for (const Port port : {kInLeft, kInRight}) {
        shaper.connect(port, in.data());
    }
    for (const Port port : {kOutLeft, kOutRight}) {
        shaper.connect(port, out.data());
    }
    const auto lv2Gain = [&](float control) {
        shaper.controls[kBoost] = control;
        return gainOfABlock([&](const float* input, float* output) {
            in[0] = *input;
            shaper.run(1);
            *output = out[0];
        });
    };
    long unformed = 0;
    for (std::uint32_t pattern = low; pattern <= high; ++pattern) {
        const float control = std::bit_cast<float>(pattern);
        const float gain = lv2Gain(control);
        if (formed[pattern - low]) {
            ASSERT_EQ(bits(gain), pattern) << "a control the VST module forms, " << control << ", runs as " << gain;
            continue;
        }
        ++unformed;
        vst.set(static_cast<float>((static_cast<double>(control) - 1.0) / 10.0), 1.0f, 0.0f);
        const float vstGain = gainOfABlock([&](const float* input, float* output) {
            vst.render({*input}, {*input}, vstOut, vstOut);
            *output = vstOut[0];
        });
        ASSERT_EQ(bits(gain), bits(vstGain)) << "control " << control;
        ASSERT_TRUE(gain >= 3.5f && formed[bits(gain) - low]) << "control " << control << " runs as " << gain;
        ASSERT_LE(std::max(bits(gain), pattern) - std::min(bits(gain), pattern), 1u) << control << " -> " << gain;
    }
    EXPECT_EQ(unformed, 1258291);
}

// A host may instantiate at any rate and with features the plug-in does not know, leave
// the controls unconnected (they act at their defaults) and run zero frames.
TEST(Lv2Plugin, AnyRateUnknownFeaturesUnconnectedControlsAndZeroFrames)
{
    ASSERT_NE(lv2().plugin, nullptr);
    const Signal signal = seededSignal(333, 5);
    std::vector<float> expectedLeft, expectedRight;
    VstReference(SHAPER_MODULE_PATH).render(signal.left, signal.right, expectedLeft, expectedRight);

    int unknownData = 0;
    const LV2_Feature unknown = {"urn:example:no-such-feature", &unknownData};
    const LV2_Feature noData = {"http://lv2plug.in/ns/ext/urid#map", nullptr};
    const LV2_Feature* const someFeatures[] = {&unknown, &noData, nullptr};
    const LV2_Feature* const noFeatures[] = {nullptr};
    struct Case {
        double rate;
        const LV2_Feature* const* features;
    };
    const Case cases[] = {{44100.0, someFeatures}, {1.0, noFeatures},    {0.0, someFeatures},
                          {-48000.0, nullptr},     {1e12, someFeatures}, {std::nan(""), noFeatures}};
    for (const Case& item : cases) {
        SCOPED_TRACE(::testing::Message() << "rate " << item.rate);
        Lv2Shaper shaper(item.rate, item.features);
        for (std::uint32_t port = kBoost; port <= kHardness; ++port) {
            shaper.connect(static_cast<Port>(port), nullptr);
        }
        std::vector<float> left = signal.left, right = signal.right;
        std::vector<float> outLeft(left.size(), 123.0f), outRight(right.size(), 123.0f);
        shaper.runInBlocks({left.data(), right.data(), outLeft.data(), outRight.data()}, left.size(), {0, 100, 0});
        EXPECT_EQ(firstDifference(expectedLeft, outLeft), -1);
        EXPECT_EQ(firstDifference(expectedRight, outRight), -1);

        const std::vector<float> untouched(left.size(), 123.0f);
        outLeft = untouched;
        outRight = untouched;
        shaper.connect(kInLeft, left.data());
        shaper.connect(kInRight, right.data());
        shaper.connect(kOutLeft, outLeft.data());
        shaper.connect(kOutRight, outRight.data());
        shaper.run(0);
        EXPECT_EQ(firstDifference(untouched, outLeft), -1);
        EXPECT_EQ(firstDifference(untouched, outRight), -1);
    }
}

#if defined(LV2_TEST_COUNTS_AUDIO_PATH)
// run, with controls changing between calls and blocks of every length, calls no
// allocator and takes no lock.
TEST(Lv2Plugin, RunAllocatesNothingAndLocksNothing)
{
    ASSERT_NE(lv2().plugin, nullptr);
    ASSERT_TRUE(plughost::audioPathCountingAvailable());
    Signal signal = seededSignal(4096, 11);
    Lv2Shaper shaper;
    const float values[] = {1.0f, 11.0f, 0.5f, -1.0f, std::numeric_limits<float>::quiet_NaN(), 30.0f};
    const plughost::AudioPathCounts before = plughost::audioPathCounts();
    {
        const plughost::AudioPathWatch watch;
        for (std::uint32_t frames : {0u, 1u, 7u, 64u, 4096u}) {
            for (const float value : values) {
                shaper.controls[kBoost] = value;
                shaper.controls[kKnee] = value / 11.0f;
                shaper.controls[kHardness] = 1.0f - value / 11.0f;
                shaper.connect(kInLeft, signal.left.data());
                shaper.connect(kInRight, signal.right.data());
                shaper.connect(kOutLeft, signal.left.data());
                shaper.connect(kOutRight, signal.right.data());
                shaper.run(frames);
            }
        }
    }
    const plughost::AudioPathCounts after = plughost::audioPathCounts();
    EXPECT_EQ(after.allocations - before.allocations, 0u);
    EXPECT_EQ(after.locks - before.locks, 0u);
}
#endif

} // namespace
