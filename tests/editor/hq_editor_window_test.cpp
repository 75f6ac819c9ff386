// The HQ editor in real windows on a display of the test's own, opened and driven by plughost:
// the VST module's editor and the LV2 UI show the drawing core's pixels exactly, and a grid of
// mouse drags reaches the host as one gesture per parameter.
#include "editor_test_support.h"
#include "hq_editor_view.h"
#include "x_display.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

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

} // namespace

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
