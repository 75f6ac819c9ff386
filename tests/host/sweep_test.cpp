// plughost sweep measures output level and distortion of a sine over input levels.
#include "plughost_runner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

using namespace plughost_test;

namespace {

struct Row {
    double input, output, thdPercent, thdDb, thdnPercent, thdnDb;
};

std::vector<Row> readRows(const std::string& path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    EXPECT_EQ(line, "input_dbfs,output_dbfs,thd_percent,thd_db,thdn_percent,thdn_db");
    std::vector<Row> rows;
    while (std::getline(file, line)) {
        std::replace(line.begin(), line.end(), ',', ' ');
        Row row{};
        std::istringstream(line) >> row.input >> row.output >> row.thdPercent >> row.thdDb >> row.thdnPercent >>
            row.thdnDb;
        rows.push_back(row);
    }
    return rows;
}

double db(double ratio)
{
    return 20.0 * std::log10(ratio);
}

} // namespace

// y = x - x^3/3: fundamental A - A^3/4 and third harmonic A^3/12 at every level.
TEST(PlughostSweep, CubicFollowsTheClosedFormAtEveryLevel)
{
    const ScratchDirectory scratch("sweep-cubic");
    const RunResult result = runPlughost({"sweep", fakeModule("tone_cubic"), "--from", "-20", "--to", "0", "--step",
                                          "2.5", "--out", (scratch / "s.csv").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto rows = readRows((scratch / "s.csv").string());
    ASSERT_EQ(rows.size(), 9u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const double level = -20.0 + 2.5 * static_cast<double>(i);
        const double a = std::pow(10.0, level / 20.0);
        const double fundamental = a - a * a * a / 4.0;
        SCOPED_TRACE(level);
        EXPECT_DOUBLE_EQ(rows[i].input, level);
        EXPECT_NEAR(rows[i].output, db(fundamental), 0.01);
        EXPECT_NEAR(rows[i].thdDb, db(a * a * a / 12.0 / fundamental), 0.01);
        EXPECT_NEAR(rows[i].thdPercent, 100.0 * a * a * a / 12.0 / fundamental, 1e-3 * rows[i].thdPercent);
        EXPECT_GE(rows[i].thdnDb, rows[i].thdDb);
    }
    EXPECT_NE(result.out.find("THD passes 0.1 % at -17.50 dBFS input"), std::string::npos) << result.out;
    // Above 0.1 % from the first level on, THD passes nothing there: it is above it already.
    const RunResult loud = runPlughost({"sweep", fakeModule("tone_cubic"), "--from", "-10", "--step", "5"});
    EXPECT_NE(loud.out.find("THD is above 0.1 % already at the first level, -10.00 dBFS input\n"), std::string::npos)
        << loud.out;
}

// --json prints the levels with a picture and without one; no --out writes no file.
TEST(PlughostSweep, JsonAndPicturesCarryTheSameLevels)
{
    const ScratchDirectory scratch("sweep-files");
    for (const char* name : {"s.svg", "s.png", ""}) {
        std::vector<std::string> arguments{
            "sweep", fakeModule("tone_gain"), "--from", "-12", "--to", "-3", "--step", "4", "--json"};
        if (*name != '\0')
            arguments.insert(arguments.end(), {"--out", (scratch / name).string()});
        const RunResult result = runPlughost(arguments);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const auto document = nlohmann::json::parse(result.out);
        ASSERT_EQ(document["levels"].size(), 4u); // -12, -8, -4 and the end, -3
        for (const auto& point : document["levels"]) {
            EXPECT_NEAR(point["output"].get<double>(), point["input"].get<double>(), 1e-3);
            EXPECT_LT(point["thd"]["db"].get<double>(), -120.0);
        }
        EXPECT_EQ(document["levels"][3]["input"], -3.0);
    }
    EXPECT_GT(std::filesystem::file_size((scratch / "s.png").string()), 5000u);
    EXPECT_GT(std::filesystem::file_size((scratch / "s.svg").string()), 5000u);
    EXPECT_EQ(folderContents(scratch.path()), (std::vector<std::string>{"s.png", "s.svg"}));
}

#ifdef SHAPER_MODULE_PATH
// At the defaults the knee is 0.5 (-6.02 dBFS): clean below it, bending harder above it.
TEST(PlughostSweep, ShaperDistortsOnlyAboveTheKnee)
{
    const ScratchDirectory scratch("sweep-shaper");
    const RunResult result = runPlughost({"sweep", SHAPER_MODULE_PATH, "--from", "-30", "--to", "0", "--step", "2",
                                          "--out", (scratch / "s.csv").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto rows = readRows((scratch / "s.csv").string());
    ASSERT_EQ(rows.size(), 16u);
    double previous = -1e9;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        if (row.input < -6.5) {
            EXPECT_LT(row.thdDb, -120.0);
            EXPECT_NEAR(row.output, row.input, 1e-3);
        } else if (row.input > -5.5) {
            EXPECT_GT(row.thdDb, previous);
            EXPECT_LT(row.output, row.input);
            previous = row.thdDb;
        }
    }
    EXPECT_GT(rows.back().thdDb, -30.0);
    EXPECT_NE(result.out.find("THD passes 0.1 % at -4.00 dBFS input"), std::string::npos) << result.out;
}
#endif
