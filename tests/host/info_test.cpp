// plughost info shows a module's descriptor and parameters, as text and as JSON.
#include "plughost_runner.h"

#include "project_version.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

using namespace plughost_test;

TEST(PlughostInfo, DescribesTheFakeModule)
{
    const RunResult result = runPlughost({"info", fakeModule("pass_through")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    for (const char* expected :
         {"unique ID:     'Fake' (0x46616B65)", "version:       7", "channels:      2 in, 2 out",
          "flags:         effFlagsCanReplacing", "initial delay: 0 samples", "programs:      1, current \"Fake\"",
          "parameters:    1", "    0  Gain             x          high         0.500000"})
        EXPECT_NE(result.out.find(expected), std::string::npos) << expected << "\n" << result.out;
}

TEST(PlughostInfo, JsonHoldsTheSameFields)
{
    const RunResult result = runPlughost({"info", fakeModule("pass_through"), "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto document = nlohmann::json::parse(result.out);
    EXPECT_EQ(document["uniqueID"], "Fake");
    EXPECT_EQ(document["uniqueIDHex"], "0x46616B65");
    EXPECT_EQ(document["version"], 7);
    EXPECT_EQ(document["inputs"], 2);
    EXPECT_EQ(document["outputs"], 2);
    EXPECT_EQ(document["flags"], nlohmann::json::array({"effFlagsCanReplacing"}));
    EXPECT_EQ(document["programName"], "Fake");
    ASSERT_EQ(document["parameters"].size(), 1u);
    EXPECT_EQ(document["parameters"][0]["name"], "Gain");
    EXPECT_EQ(document["parameters"][0]["display"], "high");
    EXPECT_EQ(document["parameters"][0]["value"], 0.5);
}

TEST(PlughostInfo, ShowsWhatTheModuleAnswersToAScan)
{
    const struct {
        const char* kind;
        std::vector<std::string> lines;
        const char* name;
        const char* vendor;
        const char* product;
        int vendorVersion;
        int category;
    } cases[] = {
        {"identified",
         {"name:          Fake Gain", "vendor:        Fake Maker, version 70203", "product:       Fake Product Line",
          "category:      1 (effect)"},
         "Fake Gain",
         "Fake Maker",
         "Fake Product Line",
         70203,
         1},
        {"pass_through",
         {"name:          (not given)", "vendor:        (not given), version 0", "product:       (not given)",
          "category:      0 (not given)"},
         "",
         "",
         "",
         0,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const RunResult text = runPlughost({"info", fakeModule(c.kind)});
        ASSERT_EQ(text.exitCode, 0) << text.err;
        const std::vector<std::string> shown = lines(text.out);
        for (const std::string& expected : c.lines)
            EXPECT_NE(std::find(shown.begin(), shown.end(), expected), shown.end()) << expected << "\n" << text.out;

        const RunResult json = runPlughost({"info", fakeModule(c.kind), "--json"});
        ASSERT_EQ(json.exitCode, 0) << json.err;
        const auto document = nlohmann::json::parse(json.out);
        EXPECT_EQ(document["name"], c.name);
        EXPECT_EQ(document["vendor"], c.vendor);
        EXPECT_EQ(document["product"], c.product);
        EXPECT_EQ(document["vendorVersion"], c.vendorVersion);
        EXPECT_EQ(document["category"], c.category);
    }
}

#ifdef SHAPER_MODULE_PATH
TEST(PlughostInfo, DescribesSoftKneeShaper)
{
    const RunResult result = runPlughost({"info", SHAPER_MODULE_PATH, "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto document = nlohmann::json::parse(result.out);
    EXPECT_EQ(document["uniqueID"], "OQbR");
    EXPECT_EQ(document["uniqueIDHex"], "0x4F516252");
    EXPECT_EQ(document["flags"], nlohmann::json::array({"effFlagsCanMono", "effFlagsCanReplacing"}));
    EXPECT_EQ(document["programName"], "Orvantel Quen'Bristle");
    EXPECT_EQ(document["name"], "SoftKneeShaper");
    EXPECT_EQ(document["vendor"], kProjectName);
    EXPECT_EQ(document["product"], kProjectName);
    EXPECT_EQ(document["vendorVersion"],
              kProjectVersionMajor * 10000 + kProjectVersionMinor * 100 + kProjectVersionPatch);
    EXPECT_EQ(document["category"], 1);
    const auto& parameters = document["parameters"];
    ASSERT_EQ(parameters.size(), 3u);
    const char* names[] = {"Boost", "Knee", "Hardness"};
    const char* labels[] = {"Soyuz", "Tesk", "Proton"};
    const char* displays[] = {"1.000000", "0.500000", "0.000000"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(parameters[i]["name"], names[i]);
        EXPECT_EQ(parameters[i]["label"], labels[i]);
        EXPECT_EQ(parameters[i]["display"], displays[i]);
    }
}
#endif
