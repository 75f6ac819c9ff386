// A module whose record has the right magic but cannot be driven (a null
// function, absurd counts) is refused by every command with one line and exit
// code 2, at once: never a crash, never a loop over a billion channels.
#include "plughost_runner.h"

#include <gtest/gtest.h>


using namespace plughost_test;

TEST(PlughostBrokenRecords, EachIsOneLineAndExitTwoWithinASecond)
{
    const ScratchDirectory dir("broken");
    writeFloatWav(dir / "in.wav", 2, 44100, std::vector<float>(2000, 0.25f));
    const struct {
        const char* kind;
        const char* message;
    } cases[] = {
        {"null_dispatcher", "fake_null_dispatcher.so: the record's dispatcher is null; the module is not usable"},
        {"null_get_parameter", "the record's getParameter function is null; the module is not usable"},
        {"null_set_parameter", "the record's setParameter function is null; the module is not usable"},
        {"huge_parameter_count", "the record announces 2147483647 parameters (0 to 4096 are plausible)"},
        {"huge_channel_count", "the record announces 1000000000 inputs (0 to 64 are plausible)"},
    };
    const auto commands = [&](const std::string& module) {
        return std::vector<std::vector<std::string>>{
            {"info", module},
            {"info", module, "--json"},
            {"validate", module, "--seed", "1"},
            {"render", module, (dir / "in.wav").string(), (dir / "out.wav").string()},
            {"curve", module, "--out", (dir / "c.csv").string()},
        };
    };
    for (const auto& c : cases)
        for (const auto& arguments : commands(fakeModule(c.kind))) {
            SCOPED_TRACE(std::string(c.kind) + " " + arguments[0] + (arguments.size() > 2 ? " " + arguments[2] : ""));
            const RunResult result = runPlughost(arguments);
            EXPECT_LT(result.processorSeconds, 1.0);
            EXPECT_EQ(result.exitCode, 2);
            const auto errorLines = lines(result.err);
            ASSERT_EQ(errorLines.size(), 1u) << result.err;
            EXPECT_NE(errorLines[0].find(c.message), std::string::npos) << errorLines[0];
        }
    EXPECT_EQ(folderContents(dir.path()), std::vector<std::string>{"in.wav"});
}

TEST(PlughostBrokenRecords, AModuleWithoutProcessFunctionsIsDescribedButNotRun)
{
    const ScratchDirectory dir("no-processing");
    writeFloatWav(dir / "in.wav", 2, 44100, std::vector<float>(2000, 0.25f));
    const std::string module = fakeModule("no_processing");
    EXPECT_EQ(runPlughost({"info", module}).exitCode, 0);
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"validate", module, "--seed", "1"},
             {"render", module, (dir / "in.wav").string(), (dir / "out.wav").string()},
             {"curve", module, "--out", (dir / "c.csv").string()},
         }) {
        SCOPED_TRACE(arguments[0]);
        const RunResult result = runPlughost(arguments);
        EXPECT_EQ(result.exitCode, 2);
        const auto errorLines = lines(result.err);
        ASSERT_EQ(errorLines.size(), 1u) << result.err;
        EXPECT_NE(errorLines[0].find("the record has neither processReplacing nor process"), std::string::npos)
            << errorLines[0];
    }
    EXPECT_EQ(folderContents(dir.path()), std::vector<std::string>{"in.wav"});
}
