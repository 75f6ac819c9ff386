// A Windows DLL's editor in real windows under Wine, on an Xvfb display of the test's own:
// plughost.exe shows exactly the Linux module's pixels at the same settings, a grid of mouse
// drags reaches it as one gesture per parameter, as on Linux, and the editor opens and closes a
// hundred times cleanly. The win32 and win64 trees run this native program and name their
// programs in its environment (tests/editor/CMakeLists.txt).
#include "editor_test_support.h"
#include "x_display.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

XDisplay* display = nullptr;

std::string setting(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

class HqEditorWine : public ::testing::Test {
protected:
    static void SetUpTestSuite() { display = new XDisplay; }
    static void TearDownTestSuite()
    {
        // The prefix's Wine server and its desktop hold the display; they go before it does.
        runProgram({"env", "WINEPREFIX=" + setting("WINE_PREFIX_DIR") + "/prefix", "wineserver", "-k"}, {}, ignored);
        delete display;
        display = nullptr;
    }
    void SetUp() override
    {
        ASSERT_FALSE(display->name().empty()) << "Xvfb did not start";
        for (const char* name : {"WINE_RUN", "WINE_PREFIX_DIR", "PLUGHOST_EXE", "HQ_DLL", "REOPEN_EXE",
                                 "NATIVE_PLUGHOST", "LINUX_HQ_MODULE"}) {
            ASSERT_FALSE(setting(name).empty()) << name << " is not set; run this from a Windows tree's ctest";
        }
    }

    // A Windows program under Wine on the test's display.
    static std::string wine(const std::string& program, const std::vector<std::string>& words, int& status)
    {
        return runProgram(
            {"env", "WINE_RUN_DISPLAY=" + display->name(), setting("WINE_RUN"), setting("WINE_PREFIX_DIR"), program},
            words, status);
    }
    static int ignored;
};

int HqEditorWine::ignored = 0;

// Every control away from its initial value, Boost at 1x or 11x.
std::vector<std::string> settings(bool loud)
{
    return {"--set", loud ? "Boost=1" : "Boost=0",
            "--set", "Knee=0.3",
            "--set", "Hardness=0.6",
            "--set", "Output=0.4",
            "--set", "Mix=0.8",
            "--set", "Quality=0.25"};
}

} // namespace

TEST_F(HqEditorWine, DllScreenshotIsTheLinuxModulesPixels)
{
    const Scratch scratch("hq_editor_wine_");
    std::vector<Colour> quiet;
    for (const bool loud : {false, true}) {
        SCOPED_TRACE(loud ? "Boost 11x" : "Boost 1x");
        const auto png = scratch(loud ? "linux-11.png" : "linux-1.png");
        const auto bmp = scratch(loud ? "dll-11.bmp" : "dll-1.bmp");
        std::vector<std::string> words{"editor", setting("LINUX_HQ_MODULE"), "--screenshot", png.string()};
        const auto chosen = settings(loud);
        words.insert(words.end(), chosen.begin(), chosen.end());
        int status = 0;
        runProgram({setting("NATIVE_PLUGHOST")}, words, status);
        ASSERT_EQ(status, 0) << "the Linux module's screenshot";
        words[1] = setting("HQ_DLL");
        words[3] = bmp.string();
        wine(setting("PLUGHOST_EXE"), words, status);
        ASSERT_EQ(status, 0) << "the DLL's screenshot";

        int width = 0, height = 0, dllWidth = 0, dllHeight = 0;
        const std::vector<Colour> linux = readPng(png, width, height);
        const std::vector<Colour> dll = readBmp(bmp, dllWidth, dllHeight);
        ASSERT_EQ(width, kHqEditorWidth);
        ASSERT_EQ(height, kHqEditorHeight);
        ASSERT_EQ(dllWidth, width);
        ASSERT_EQ(dllHeight, height);
        std::size_t differing = 0;
        for (std::size_t i = 0; i < linux.size(); ++i) {
            differing += linux[i] != dll[i] ? 1 : 0;
        }
        EXPECT_EQ(differing, 0u) << "pixels of the DLL's editor unlike the Linux module's";
        if (!loud) {
            quiet = dll;
        } else {
            EXPECT_NE(dll, quiet) << "Boost 1x and 11x look the same";
        }
    }
}

TEST_F(HqEditorWine, DragGridReachesTheHostAsOneGesturePerParameter)
{
    const std::vector<std::string> drags = dragGridWords();
    std::vector<std::string> words{"editor", setting("HQ_DLL"), "--json"};
    words.insert(words.end(), drags.begin(), drags.end());
    int status = 0;
    const std::string out = wine(setting("PLUGHOST_EXE"), words, status);
    ASSERT_EQ(status, 0);
    expectOneGesturePerParameter(nlohmann::json::parse(out), drags.size() / 2);
}

TEST_F(HqEditorWine, WindowLifetimeLeavesNoWindowNoClassAndNoCrash)
{
    int status = 0;
    const std::string out = wine(setting("REOPEN_EXE"), {}, status);
    EXPECT_EQ(status, 0) << out;
}
