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
#include <filesystem>
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
    // A Wine server left by an earlier run holds the display it started on, on which no window
    // opens any more; each prefix's server starts afresh, on this test's display, and goes before it.
    static void SetUpTestSuite()
    {
        stopWine(setting("WINE_PREFIX_DIR"));
        stopWine(setting("WINE_PREFIX_DIR") + "-192dpi");
        display = new XDisplay("1600x1200x24"); // room for scale 2
    }
    static void TearDownTestSuite()
    {
        stopWine(setting("WINE_PREFIX_DIR"));
        stopWine(setting("WINE_PREFIX_DIR") + "-192dpi");
        delete display;
        display = nullptr;
    }
    static void stopWine(const std::string& prefixDir)
    {
        int ignored = 0;
        // The Wine server leaves a folder in TMPDIR, so it gets the one wine-run.sh gives the prefix.
        const std::string temporary = prefixDir + "/tmp";
        std::error_code error;
        std::filesystem::create_directories(temporary, error);
        for (const char* how : {"-k", "-w"}) { // kill, then wait until it is gone
            runProgram({"env", "WINEPREFIX=" + prefixDir + "/prefix", "TMPDIR=" + temporary, "wineserver", how}, {},
                       ignored);
        }
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
};

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

// Windows at 192 dpi (Wine's LogPixels, in a prefix of its own): the DLL's editor gives the host
// a rectangle of twice the size and draws in it what it draws when asked for scale 2.
TEST_F(HqEditorWine, DllOnA192DpiScreenOpensAtScaleTwo)
{
    // Made anew each time, with the display given from the first program on: a prefix whose
    // server once ran without one and was stopped opened no window again.
    const std::string dpiPrefix = setting("WINE_PREFIX_DIR") + "-192dpi";
    std::filesystem::remove_all(dpiPrefix);
    int status = 0;
    runProgram({"env", "WINE_RUN_DISPLAY=" + display->name(), setting("WINE_RUN"), dpiPrefix, "reg"},
               {"add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d", "192", "/f"},
               status);
    ASSERT_EQ(status, 0) << "setting the prefix's dpi";
    stopWine(dpiPrefix); // Wine reads the dpi as its server starts
    const Scratch scratch("hq_editor_wine_dpi_");
    const auto dense = scratch("192dpi.bmp");
    const auto asked = scratch("scale2.bmp");
    const std::string out = runProgram(
        {"env", "WINE_RUN_DISPLAY=" + display->name(), setting("WINE_RUN"), dpiPrefix, setting("PLUGHOST_EXE")},
        {"editor", setting("HQ_DLL"), "--json", "--screenshot", dense.string()}, status);
    stopWine(dpiPrefix);
    ASSERT_EQ(status, 0);
    const auto document = nlohmann::json::parse(out);
    EXPECT_EQ(document["width"], 2 * kHqEditorWidth);
    EXPECT_EQ(document["height"], 2 * kHqEditorHeight);
    runProgram({"env", "SOFTKNEESHAPER_EDITOR_SCALE=2", "WINE_RUN_DISPLAY=" + display->name(), setting("WINE_RUN"),
                setting("WINE_PREFIX_DIR"), setting("PLUGHOST_EXE")},
               {"editor", setting("HQ_DLL"), "--screenshot", asked.string()}, status);
    ASSERT_EQ(status, 0);
    int width = 0, height = 0, askedWidth = 0, askedHeight = 0;
    const std::vector<Colour> densePixels = readBmp(dense, width, height);
    const std::vector<Colour> askedPixels = readBmp(asked, askedWidth, askedHeight);
    EXPECT_EQ(width, 2 * kHqEditorWidth);
    EXPECT_EQ(height, 2 * kHqEditorHeight);
    EXPECT_EQ(densePixels, askedPixels) << "the 192 dpi picture is not the scale 2 one";
}
