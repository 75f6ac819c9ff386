// plughost validate passes a sound module and names the check a faulty one fails.
#include "plughost_runner.h"

#include <gtest/gtest.h>

#include <regex>

using namespace plughost_test;

namespace {

struct Summary {
    int passed = -1;
    int failed = -1;
};

// The closing line "N passed, N failed" must be the last one.
Summary closingLine(const std::string& out)
{
    const auto all = lines(out);
    std::smatch match;
    Summary summary;
    if (!all.empty() && std::regex_match(all.back(), match, std::regex(R"((\d+) passed, (\d+) failed)"))) {
        summary.passed = std::stoi(match[1]);
        summary.failed = std::stoi(match[2]);
    }
    return summary;
}

std::vector<std::string> failedChecks(const std::string& out)
{
    std::vector<std::string> names;
    for (const std::string& line : lines(out))
        if (line.rfind("  FAILED  ", 0) == 0)
            names.push_back(line.substr(10, line.find(':') - 10));
    return names;
}

} // namespace

TEST(PlughostValidate, PassesTheSoundFakeModuleAndPrintsItsSeed)
{
    const RunResult result = runPlughost({"validate", fakeModule("pass_through"), "--seed", "12345"});
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_NE(result.out.find("seed 12345"), std::string::npos);
    const Summary summary = closingLine(result.out);
    EXPECT_EQ(summary.failed, 0);
    EXPECT_GE(summary.passed, 17);
}

TEST(PlughostValidate, NamesTheCheckThatEachFaultyModuleFails)
{
    const struct {
        const char* kind;
        const char* check;
        const char* reason;
    } cases[] = {
        {"allocating", "no allocation, lock, output or sleep on the audio path",
         "allocator call(s) and 0 lock call(s)"},
        {"locking", "no allocation, lock, output or sleep on the audio path", " 0 allocator call(s) and "},
        {"logging", "no allocation, lock, output or sleep on the audio path", " stdio output call(s) (first fprintf)"},
        {"sleeping", "no allocation, lock, output or sleep on the audio path", " sleep call(s) (first usleep)"},
        {"overrunning", "output integrity", "past sampleFrames"},
        {"long_name", "string guards", "parameter 0 name is not terminated within 9 bytes (it takes 21)"},
        {"nan_at_full_gain", "parameter fuzz", "parameters {1}: output 0 sample 0 is NaN"},
        {"sticky_nan", "input fuzz", "clean block after NaN: output 0 sample 0 is NaN"},
        {"subnormal", "normal output from noise", "is subnormal"},
        {"bad_identity", "scan texts within their buffers",
         "effect name is not terminated within 32 bytes (it takes 35)"},
        {"bad_identity", "scan answers stable", "vendor version was 70203 at first, 70204 when asked again"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const RunResult result = runPlughost({"validate", fakeModule(c.kind), "--seed", "1"});
        EXPECT_EQ(result.exitCode, 1);
        const auto failed = failedChecks(result.out);
        EXPECT_NE(std::find(failed.begin(), failed.end(), c.check), failed.end()) << result.out;
        EXPECT_NE(result.out.find(c.reason), std::string::npos) << result.out;
        EXPECT_EQ(closingLine(result.out).failed, static_cast<int>(failed.size()));
        EXPECT_NE(result.out.find("replay with: plughost validate"), std::string::npos);
    }
}

TEST(PlughostValidate, PassesAModuleThatAnswersTheScan)
{
    const RunResult result = runPlughost({"validate", fakeModule("identified"), "--seed", "7"});
    EXPECT_EQ(result.exitCode, 0) << result.out;
    for (const char* check : {"  passed  scan texts within their buffers", "  passed  scan answers stable"})
        EXPECT_NE(result.out.find(check), std::string::npos) << check << "\n" << result.out;
}

TEST(PlughostValidate, TheSameSeedGivesTheSameReport)
{
    const RunResult first = runPlughost({"validate", fakeModule("overrunning"), "--seed", "99"});
    const RunResult second = runPlughost({"validate", fakeModule("overrunning"), "--seed", "99"});
    EXPECT_EQ(first.out, second.out);
}

TEST(PlughostValidate, RepeatRunsEveryCheckAgain)
{
    const RunResult once = runPlughost({"validate", fakeModule("pass_through"), "--seed", "5"});
    const RunResult twice = runPlughost({"validate", fakeModule("pass_through"), "--seed", "5", "--repeat", "2"});
    EXPECT_EQ(twice.exitCode, 0);
    EXPECT_EQ(closingLine(twice.out).passed, 2 * closingLine(once.out).passed);
}

#ifdef SHAPER_MODULE_PATH
TEST(PlughostValidate, PassesSoftKneeShaper)
{
    const RunResult result = runPlughost({"validate", SHAPER_MODULE_PATH, "--seed", "20261207", "--repeat", "2"});
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_EQ(closingLine(result.out).failed, 0) << result.out;
}
#endif
