// The HQ editor in real windows on a display of the test's own, opened and driven by plughost:
// the VST module's editor and the LV2 UI show the drawing core's pixels exactly, and a grid of
// mouse drags reaches the host as one gesture per parameter.
#include "editor_scale.h"
#include "editor_test_support.h"
#include "hq_editor_view.h"
#include "x_display.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

XDisplay* display = nullptr;

class HqEditorWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { display = new XDisplay; }
    static void TearDownTestSuite()
    {
        delete display;
        display = nullptr;
    }
    void SetUp() override { ASSERT_FALSE(display->name().empty()) << "Xvfb did not start"; }
};

// plughost with the words, its standard output, and its exit code through status.
std::string plughost(const std::vector<std::string>& words, int& status)
{
    return runProgram({PLUGHOST_PATH}, words, status);
}

struct Format {
    const char* name;
    std::string plugin;
    // --set words for Boost at 11x, or 1x, and every other control at its initial value.
    std::vector<std::string> settings(bool loud) const
    {
        if (std::string(name) == "VST") {
            return {"--set", loud ? "Boost=1" : "Boost=0",
                    "--set", "Knee=0.5",
                    "--set", "Hardness=0",
                    "--set", "Output=0.5",
                    "--set", "Mix=1",
                    "--set", "Quality=0.75"};
        }
        return {"--set", loud ? "boost=11" : "boost=1",
                "--set", "knee=0.5",
                "--set", "hardness=0",
                "--set", "output=0",
                "--set", "mix=100",
                "--set", "quality=3"};
    }
};

const Format kFormats[] = {{"VST", HQ_MODULE_PATH}, {"LV2", HQ_LV2_BUNDLE}};

// The display's resources (RESOURCE_MANAGER on its root window, as xrdb sets them) and the
// user's override of the editor's scale, for as long as the object lives.
class DesktopSettings {
public:
    DesktopSettings(const char* resources, const char* userScale) : x_(XOpenDisplay(nullptr))
    {
        if (resources != nullptr && x_ != nullptr) {
            XChangeProperty(x_, DefaultRootWindow(x_), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(resources),
                            static_cast<int>(std::strlen(resources)));
            XSync(x_, False);
        }
        if (userScale != nullptr) {
            setenv("SOFTKNEESHAPER_EDITOR_SCALE", userScale, 1);
        }
    }
    ~DesktopSettings()
    {
        unsetenv("SOFTKNEESHAPER_EDITOR_SCALE");
        if (x_ != nullptr) {
            XDeleteProperty(x_, DefaultRootWindow(x_), XA_RESOURCE_MANAGER);
            XCloseDisplay(x_);
        }
    }
    DesktopSettings(const DesktopSettings&) = delete;
    DesktopSettings& operator=(const DesktopSettings&) = delete;

private:
    Display* x_;
};

// Who decides the scale: the user's override, then the host's request (plughost's --scale, which
// for a VST module can only set the override itself), then the display's Xft.dpi, else 1.
struct ScaleCase {
    const char* what;
    const char* resources; // the display's; nullptr: none
    const char* userScale; // SOFTKNEESHAPER_EDITOR_SCALE; nullptr: unset
    int asked;             // plughost --scale; 0: not given
    int vstScale, lv2Scale;
};

const ScaleCase kScaleCases[] = {
    {"--scale 2", nullptr, nullptr, 2, 2, 2},
    {"Xft.dpi 192 among other resources", "*background:\tgrey\nXft.antialias:\t1\nXft.dpi:\t192\n", nullptr, 0, 2, 2},
    {"Xft.dpi 96", "Xft.dpi:\t96\n", nullptr, 0, 1, 1},
    {"junk Xft.dpi", "Xft.dpi:\tlarge\n", nullptr, 0, 1, 1},
    {"the host's request over Xft.dpi", "Xft.dpi:\t192\n", nullptr, 1, 1, 1},
    {"the user's override over Xft.dpi", "Xft.dpi:\t192\n", "1", 0, 1, 1},
    {"the user's override over the host's request", nullptr, "2", 1, 1, 2},
};

} // namespace

TEST_F(HqEditorWindow, ScaleComesFromTheUserTheHostOrXftDpiAndIsDrawnAtThatResolution)
{
    const Scratch scratch("hq_editor_window_scale_");
    const HqEditorPicture picture = initialHqEditorPicture();
    for (const ScaleCase& c : kScaleCases) {
        const DesktopSettings desktop(c.resources, c.userScale);
        for (const Format& format : kFormats) {
            const int scale = std::string(format.name) == "VST" ? c.vstScale : c.lv2Scale;
            SCOPED_TRACE(std::string(format.name) + ", " + c.what);
            const auto png = scratch(std::string(format.name) + ".png");
            std::vector<std::string> words{"editor", format.plugin, "--screenshot", png.string()};
            if (c.asked != 0) {
                words.insert(words.end(), {"--scale", std::to_string(c.asked)});
            }
            int status = 0;
            plughost(words, status);
            ASSERT_EQ(status, 0);
            int width = 0, height = 0;
            const std::vector<Colour> shot = readPng(png, width, height);
            ASSERT_EQ(width, kHqEditorWidth * scale);
            ASSERT_EQ(height, kHqEditorHeight * scale);
            PixelCanvas expected(width, height);
            drawHqEditor(expected, picture, scale);
            EXPECT_TRUE(shot == expected.pixels()) << "pixels unlike the core's at scale " << scale;
        }
    }
}

TEST_F(HqEditorWindow, PlughostAsksForEveryScaleTheCoreDrawsAndNoOther)
{
    for (const Format& format : kFormats) {
        SCOPED_TRACE(format.name);
        int status = 0;
        const auto document = nlohmann::json::parse(
            plughost({"editor", format.plugin, "--json", "--scale", std::to_string(kMaxEditorScale)}, status));
        ASSERT_EQ(status, 0);
        EXPECT_EQ(document["width"], kHqEditorWidth * kMaxEditorScale);
        EXPECT_EQ(document["height"], kHqEditorHeight * kMaxEditorScale);
        plughost({"editor", format.plugin, "--json", "--scale", std::to_string(kMaxEditorScale + 1)}, status);
        EXPECT_EQ(WEXITSTATUS(status), 2);
    }
}

TEST_F(HqEditorWindow, ScreenshotOfEitherFormatIsTheDrawingCoresPicture)
{
    std::map<std::string, std::vector<Colour>> shots;
    const Scratch scratch("hq_editor_window_");
    for (const bool loud : {false, true}) {
        HqEditorPicture picture = initialHqEditorPicture();
        picture.values[kHqControlBoost] = loud ? 11.0f : 1.0f;
        PixelCanvas expected(kHqEditorWidth, kHqEditorHeight);
        drawHqEditor(expected, picture, 1);
        for (const Format& format : kFormats) {
            SCOPED_TRACE(std::string(format.name) + (loud ? " at Boost 11x" : " at Boost 1x"));
            const auto png = scratch(std::string(format.name) + (loud ? "-11.png" : "-1.png"));
            std::vector<std::string> words{"editor", format.plugin, "--screenshot", png.string()};
            const auto settings = format.settings(loud);
            words.insert(words.end(), settings.begin(), settings.end());
            int status = 0;
            plughost(words, status);
            ASSERT_EQ(status, 0);
            int width = 0, height = 0;
            const std::vector<Colour> shot = readPng(png, width, height);
            ASSERT_EQ(width, kHqEditorWidth);
            ASSERT_EQ(height, kHqEditorHeight);
            std::size_t differing = 0;
            for (std::size_t i = 0; i < shot.size(); ++i) {
                differing += shot[i] != expected.pixels()[i] ? 1 : 0;
            }
            EXPECT_EQ(differing, 0u) << "pixels unlike the core's";
            shots[std::string(format.name) + (loud ? "11" : "1")] = shot;
        }
    }
    EXPECT_NE(shots["VST1"], shots["VST11"]) << "Boost 1x and 11x look the same";
}

// Up and down over every knob and across the selector: each gesture is begin, automate calls
// and end of one parameter, and each parameter ends at the last value it was automated to.
TEST_F(HqEditorWindow, DragGridReachesTheHostAsOneGesturePerParameter)
{
    const std::vector<std::string> drags = dragGridWords();
    for (const Format& format : kFormats) {
        SCOPED_TRACE(format.name);
        std::vector<std::string> words{"editor", format.plugin, "--json"};
        words.insert(words.end(), drags.begin(), drags.end());
        int status = 0;
        const auto document = nlohmann::json::parse(plughost(words, status));
        ASSERT_EQ(status, 0);
        expectOneGesturePerParameter(document, drags.size() / 2);
    }
}

TEST(HqEditorInfo, InfoGivesTheEditorSizeOfTheHqModuleAndNoneForTheFirstEffect)
{
    // At scale 1 whatever the desktop running the tests: no display to ask, no override.
    unsetenv("DISPLAY");
    unsetenv("SOFTKNEESHAPER_EDITOR_SCALE");
    int status = 0;
    const auto hq = nlohmann::json::parse(plughost({"info", HQ_MODULE_PATH, "--json"}, status));
    ASSERT_EQ(status, 0);
    EXPECT_EQ(hq["editor"], nlohmann::json({{"width", kHqEditorWidth}, {"height", kHqEditorHeight}}));
    EXPECT_EQ(hq["flags"][0], "effFlagsHasEditor");
    const auto first = nlohmann::json::parse(plughost({"info", SHAPER_MODULE_PATH, "--json"}, status));
    ASSERT_EQ(status, 0);
    EXPECT_FALSE(first.contains("editor"));
    EXPECT_EQ(first["flags"], nlohmann::json::array({"effFlagsCanMono", "effFlagsCanReplacing"}));
}
