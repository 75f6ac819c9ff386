// Debian's LV2 tools used as a user does, with LV2_PATH on the built bundle folder only:
// lv2info describes the plug-in, and lv2apply renders a file to exactly the samples that
// plughost render gives with the VST module.
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr char kUri[] = "urn:softkneeshaper:lv2:shaper";
constexpr char kHqUri[] = "urn:softkneeshaper:lv2:hq";
constexpr int kChannels = 2;

// A fresh folder for one test's files, removed again however the test ends.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name)
        : path(std::filesystem::temp_directory_path() / ("lv2-test-" + std::to_string(::getpid()) + "-" + name))
    {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::filesystem::path operator/(const std::string& file) const { return path / file; }

    std::filesystem::path path;
};

std::string quoted(const std::string& argument)
{
    std::string text = "'";
    for (const char c : argument) {
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return text + "'";
}

struct ToolRun {
    int exitCode;
    std::string out;
};

// Runs a command line with LV2_PATH on the bundle folder, standard output captured.
ToolRun runWithLv2Path(const std::vector<std::string>& words, const ScratchFolder& scratch)
{
    std::string command = "LV2_PATH=" + quoted(LV2_BUNDLE_PARENT);
    for (const std::string& word : words) {
        command += " " + quoted(word);
    }
    const std::filesystem::path out = scratch / "stdout";
    command += " >" + quoted(out.string()) + " </dev/null";
    const int status = std::system(command.c_str());
    std::ifstream file(out);
    std::stringstream text;
    text << file.rdbuf();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), text.str()};
}

void writeFloatWav(const std::filesystem::path& path, const std::vector<float>& interleaved)
{
    SF_INFO info{};
    info.channels = kChannels;
    info.samplerate = 44100;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        throw std::runtime_error("cannot write " + path.string());
    }
    sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(interleaved.size() / kChannels));
    sf_close(file);
}

std::vector<float> readFloats(const std::filesystem::path& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        throw std::runtime_error("cannot read " + path.string());
    }
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

// The shortest decimal text that reads back as exactly this float.
std::string exactText(float value)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%.9g", static_cast<double>(value));
    return text;
}

// The lines lv2info prints for the port with this symbol, from its "Port N:" line to the next.
std::string portBlock(const std::string& out, const std::string& symbol)
{
    const std::size_t at = out.find("Symbol:      " + symbol + "\n");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t begin = out.rfind("\tPort ", at);
    const std::size_t end = out.find("\tPort ", at);
    return out.substr(begin == std::string::npos ? 0 : begin, end == std::string::npos ? std::string::npos : end - begin);
}

TEST(Lv2Tools, Lv2infoDescribesThePlugins)
{
    struct Row {
        const char* uri;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {kUri,
         {"Name:              SoftKneeShaper\n", "Optional Features: http://lv2plug.in/ns/lv2core#hardRTCapable",
          "Symbol:      boost\n", "Symbol:      knee\n", "Symbol:      hardness\n", "Symbol:      in_left\n",
          "Symbol:      in_right\n", "Symbol:      out_left\n", "Symbol:      out_right\n"}},
        {kHqUri,
         {"Name:              SoftKneeShaper HQ\n",
          "Has latency:       yes, reported by port 6\n",
          "Optional Features: http://lv2plug.in/ns/lv2core#hardRTCapable",
          "\t         Default\n",
          "\t         Round peaks\n",
          "\t         Soft drive\n",
          "\t         Clip peaks\n",
          "\t         Parallel grit\n",
          "\t         Firm drive\n",
          "0.0 = \"1x\"\n",
          "1.0 = \"2x\"\n",
          "2.0 = \"4x\"\n",
          "3.0 = \"8x\"\n",
          "4.0 = \"16x\"\n",
          "Symbol:      output\n",
          "Symbol:      mix\n",
          "Symbol:      quality\n",
          "Symbol:      latency\n",
          "Symbol:      auto_gain\n",
          "Symbol:      ceiling\n",
          "Symbol:      enabled\n",
          "Designation: http://lv2plug.in/ns/lv2core#enabled\n"}},
    };
    ScratchFolder scratch("lv2info");
    for (const Row& row : rows) {
        const ToolRun run = runWithLv2Path({LV2INFO_PATH, row.uri}, scratch);
        ASSERT_EQ(run.exitCode, 0) << run.out;
        for (const std::string& text : row.expected) {
            EXPECT_NE(run.out.find(text), std::string::npos) << "missing " << text << " in\n" << run.out;
        }
        if (std::string(row.uri) == kHqUri) {
            // lv2info lists a port's properties in no fixed order, so each is looked for in the port's block.
            const std::string quality = portBlock(run.out, "quality");
            EXPECT_NE(quality.find("lv2core#integer\n"), std::string::npos) << quality;
            EXPECT_NE(quality.find("lv2core#enumeration\n"), std::string::npos) << quality;
        }
    }
}

// lv2apply, which passes the plug-in no feature, runs SoftKneeShaper HQ: at a linear setting
// and Quality 1x its output is the input delayed by exactly the 84 frames it reports.
TEST(Lv2Tools, Lv2applyRunsTheHqPluginAsAPureDelayAtALinearSetting)
{
    ScratchFolder scratch("lv2apply-hq");
    std::mt19937 random(77);
    std::uniform_real_distribution<float> level(-0.9f, 0.9f);
    std::vector<float> input(static_cast<std::size_t>(kChannels) * 5000);
    for (float& sample : input) {
        sample = level(random);
    }
    writeFloatWav(scratch / "in.wav", input);
    const ToolRun lv2apply =
        runWithLv2Path({LV2APPLY_PATH, "-i", (scratch / "in.wav").string(), "-o", (scratch / "out.wav").string(), "-c",
                        "knee", "1", "-c", "quality", "0", kHqUri},
                       scratch);
    ASSERT_EQ(lv2apply.exitCode, 0) << lv2apply.out;
    const std::vector<float> output = readFloats(scratch / "out.wav");
    ASSERT_EQ(output.size(), input.size());
    const std::size_t delay = kChannels * 84;
    for (std::size_t i = 0; i < output.size(); ++i) {
        ASSERT_EQ(output[i], i < delay ? 0.0f : input[i - delay]) << "sample " << i;
    }
}

// lv2apply with the controls in the effect's units equals plughost render of the VST
// module at the normalised values that store the same fields, sample for sample.
TEST(Lv2Tools, Lv2applyRendersWhatPlughostRendersWithTheVstModule)
{
    struct Setting {
        float boost, knee, hardness; // normalised, as plughost sets them
    };
    const Setting settings[] = {{0.0f, 0.5f, 0.0f}, {0.3f, 0.5f, 0.5f}, {1.0f, 0.1f, 1.0f}, {0.77f, 0.9f, 0.25f}};

    ScratchFolder scratch("lv2apply");
    std::mt19937 random(4242);
    std::uniform_real_distribution<float> level(-2.0f, 2.0f);
    std::vector<float> input(static_cast<std::size_t>(kChannels) * 30011);
    for (float& sample : input) {
        sample = level(random);
    }
    const std::filesystem::path in = scratch / "in.wav";
    writeFloatWav(in, input);

    for (const Setting& setting : settings) {
        SCOPED_TRACE(::testing::Message()
                     << "boost " << setting.boost << " knee " << setting.knee << " hardness " << setting.hardness);
        const float boost = static_cast<float>(static_cast<double>(setting.boost) * 10.0 + 1.0);
        const std::filesystem::path fromLv2 = scratch / "lv2.wav";
        const std::filesystem::path fromVst = scratch / "vst.wav";
        const ToolRun lv2apply =
            runWithLv2Path({LV2APPLY_PATH, "-i", in.string(), "-o", fromLv2.string(), "-c", "boost", exactText(boost),
                            "-c", "knee", exactText(setting.knee), "-c", "hardness", exactText(setting.hardness), kUri},
                           scratch);
        ASSERT_EQ(lv2apply.exitCode, 0) << lv2apply.out;
        const ToolRun render =
            runWithLv2Path({PLUGHOST_PATH, "render", SHAPER_MODULE_PATH, in.string(), fromVst.string(), "--format",
                            "float", "--set", "Boost=" + exactText(setting.boost), "--set",
                            "Knee=" + exactText(setting.knee), "--set", "Hardness=" + exactText(setting.hardness)},
                           scratch);
        ASSERT_EQ(render.exitCode, 0) << render.out;

        const std::vector<float> lv2 = readFloats(fromLv2);
        const std::vector<float> vst = readFloats(fromVst);
        ASSERT_EQ(lv2.size(), input.size());
        ASSERT_EQ(vst.size(), input.size());
        std::size_t shaped = 0;
        for (std::size_t i = 0; i < input.size(); ++i) {
            ASSERT_EQ(std::bit_cast<std::uint32_t>(lv2[i]), std::bit_cast<std::uint32_t>(vst[i]))
                << "sample " << i << ": lv2apply " << lv2[i] << ", plughost " << vst[i];
            shaped += lv2[i] != input[i] ? 1 : 0;
        }
        EXPECT_GT(shaped, input.size() / 2) << "the settings must change most samples";
    }
}

} // namespace

namespace {

// plughost render of the bundle folder, controls in the effect's units, equals plughost
// render of the VST module at the normalised values, sample for sample; and both show the
// same alias of a 7 kHz tone at Boost 11: H5 at 35 kHz folded to 13 kHz, 16.7 dB down.
TEST(Lv2Tools, PlughostRendersAndMeasuresTheBundleAsTheVstModule)
{
    ScratchFolder scratch("plughost-lv2");
    std::mt19937 random(77);
    std::uniform_real_distribution<float> level(-2.0f, 2.0f);
    std::vector<float> input(static_cast<std::size_t>(kChannels) * 20011);
    for (float& sample : input) {
        sample = level(random);
    }
    writeFloatWav(scratch / "in.wav", input);
    const std::string bundle = std::string(LV2_BUNDLE_PARENT) + "/SoftKneeShaper.lv2";
    const ToolRun lv2 = runWithLv2Path({PLUGHOST_PATH, "render", bundle, (scratch / "in.wav").string(),
                                        (scratch / "lv2.wav").string(), "--set", "boost=4", "--set", "hardness=0.5"},
                                       scratch);
    const ToolRun vst = runWithLv2Path({PLUGHOST_PATH, "render", SHAPER_MODULE_PATH, (scratch / "in.wav").string(),
                                        (scratch / "vst.wav").string(), "--set", "Boost=0.3", "--set", "Hardness=0.5"},
                                       scratch);
    ASSERT_EQ(lv2.exitCode, 0) << lv2.out;
    ASSERT_EQ(vst.exitCode, 0) << vst.out;
    const std::vector<float> fromLv2 = readFloats(scratch / "lv2.wav");
    const std::vector<float> fromVst = readFloats(scratch / "vst.wav");
    ASSERT_EQ(fromLv2.size(), input.size());
    ASSERT_EQ(fromVst.size(), input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        ASSERT_EQ(std::bit_cast<std::uint32_t>(fromLv2[i]), std::bit_cast<std::uint32_t>(fromVst[i])) << "sample " << i;
    }

    for (const auto& [module, boost] : {std::pair<std::string, std::string>{bundle, "boost=11"},
                                        std::pair<std::string, std::string>{SHAPER_MODULE_PATH, "Boost=1"}}) {
        const ToolRun spectrum =
            runWithLv2Path({PLUGHOST_PATH, "spectrum", module, "--tone", "7000", "--set", boost}, scratch);
        ASSERT_EQ(spectrum.exitCode, 0) << spectrum.out;
        EXPECT_NE(spectrum.out.find("strongest alias:              -16.68 dB at 13000.0 Hz, alias of H5 at 35 kHz"),
                  std::string::npos)
            << module << "\n"
            << spectrum.out;
    }
}

} // namespace

namespace {

// The THD that plughost spectrum prints for the HQ effect, LV2_PATH on the bundle folder only.
std::string hqThd(const std::vector<std::string>& arguments, const ScratchFolder& scratch)
{
    std::vector<std::string> words{PLUGHOST_PATH, "spectrum"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    const ToolRun run = runWithLv2Path(words, scratch);
    EXPECT_EQ(run.exitCode, 0) << run.out;
    const auto at = run.out.find("THD:");
    return at == std::string::npos ? run.out : run.out.substr(at, run.out.find('\n', at) - at);
}

} // namespace

// Each row names one state of the HQ effect two ways, which must measure alike: a Quality label
// and its number, a VST program and the LV2 preset of its name or URI (settings apply after
// either), and the preset against its values set one by one.
TEST(Lv2Tools, PlughostTakesQualityLabelsProgramsAndPresetsOnBothFormats)
{
    struct Row {
        std::vector<std::string> one, other;
    };
    const std::string vst = HQ_MODULE_PATH;
    const Row rows[] = {
        {{kHqUri, "--set", "boost=11", "--set", "quality=2X"}, {kHqUri, "--set", "boost=11", "--set", "quality=1"}},
        {{kHqUri, "--preset", "firm drive"}, {vst, "--program", "Firm drive"}},
        {{kHqUri, "--preset", "urn:softkneeshaper:lv2:hq:preset:firm-drive"}, {vst, "--program", "5"}},
        {{kHqUri, "--preset", "Firm drive"},
         {kHqUri, "--set", "boost=2", "--set", "knee=0.3", "--set", "hardness=0.5", "--set", "output=-5.1", "--set",
          "quality=8x"}},
        // SoftKneeShaper fills no program menu: its one program is found by the name it gives as current.
        {{SHAPER_MODULE_PATH, "--program", "orvantel quen'bristle", "--set", "Boost=1"},
         {SHAPER_MODULE_PATH, "--set", "Boost=1"}},
        {{kHqUri, "--preset", "Parallel grit", "--set", "mix=100"},
         {vst, "--program", "parallel grit", "--set", "Mix=1"}},
    };
    ScratchFolder scratch("programs");
    for (const Row& row : rows) {
        const std::string one = hqThd(row.one, scratch);
        SCOPED_TRACE(row.one[2] + " " + row.one[3]);
        EXPECT_EQ(one.rfind("THD:", 0), 0u) << one;
        EXPECT_EQ(one, hqThd(row.other, scratch));
    }
    // The settings come after the preset: dry, the preset's distortion is gone.
    EXPECT_NE(hqThd({kHqUri, "--preset", "Firm drive"}, scratch),
              hqThd({kHqUri, "--preset", "Firm drive", "--set", "mix=0"}, scratch));
}
