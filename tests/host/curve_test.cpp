// plughost curve sweeps the module's static transfer curve into a table or a picture.
#include "plughost_runner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace plughost_test;

namespace {

struct Row {
    double input, left, right;
};

std::vector<Row> readCsv(const std::filesystem::path& path)
{
    std::ifstream file(path);
    std::string header;
    std::getline(file, header);
    EXPECT_EQ(header, "input,left,right");
    std::vector<Row> rows;
    for (std::string line; std::getline(file, line);) {
        Row row{};
        char comma = 0;
        std::istringstream(line) >> row.input >> comma >> row.left >> comma >> row.right;
        rows.push_back(row);
    }
    return rows;
}

double outputAt(const std::vector<Row>& rows, double input)
{
    for (const Row& row : rows)
        if (row.input == input)
            return row.left;
    ADD_FAILURE() << "no row for input " << input;
    return 0.0;
}

std::string head(const std::filesystem::path& path, std::size_t count)
{
    std::ifstream file(path, std::ios::binary);
    std::string bytes(count, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(count));
    return bytes;
}

} // namespace

TEST(PlughostCurve, CsvSweepsTheGivenRange)
{
    const auto dir = scratchDirectory("curve");
    const RunResult result = runPlughost(
        {"curve", fakeModule("pass_through"), "--set", "Gain=0.25", "--range", "3", "--out", (dir / "c.csv").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto rows = readCsv(dir / "c.csv");
    ASSERT_GT(rows.size(), 100u);
    EXPECT_EQ(rows.front().input, -3.0);
    EXPECT_EQ(rows.back().input, 3.0);
    for (const Row& row : rows) {
        EXPECT_EQ(static_cast<float>(row.left), static_cast<float>(row.input) * 0.5f);
        EXPECT_EQ(row.left, row.right);
    }
}

// Each --compare is a curve of its own from a fresh effect: --set applies to all, and no
// member keeps a setting of the one before (Gain=0.25 for the third would halve it).
TEST(PlughostCurve, EachCompareIsACurveAtItsOwnSettings)
{
    const auto dir = scratchDirectory("family");
    const RunResult result =
        runPlughost({"curve", fakeModule("pass_through"), "--set", "Gain=0.25", "--compare", "Gain=1", "--compare",
                     "gain=0.125,Gain=0.75", "--compare", "Gain=0.25", "--out", (dir / "f.csv").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::ifstream file(dir / "f.csv");
    std::string line;
    std::getline(file, line);
    EXPECT_EQ(line, "input,Gain=1,gain=0.125  Gain=0.75,Gain=0.25");
    int rows = 0;
    for (; std::getline(file, line); ++rows) {
        float input = 0, first = 0, second = 0, third = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%g,%g,%g,%g", &input, &first, &second, &third), 4) << line;
        EXPECT_EQ(first, input * 2.0f);
        EXPECT_EQ(second, input * 1.5f);
        EXPECT_EQ(third, input * 0.5f);
    }
    EXPECT_GT(rows, 100);
    ASSERT_EQ(runPlughost({"curve", fakeModule("pass_through"), "--compare", "Gain=1", "--compare", "Gain=0.5", "--out",
                           (dir / "f.png").string()})
                  .exitCode,
              0);
    EXPECT_EQ(head(dir / "f.png", 8), "\x89PNG\r\n\x1a\n");
}

#ifdef SHAPER_MODULE_PATH
TEST(PlughostCurve, ShaperCurveAtDefaultsBendsAboveTheKnee)
{
    const auto dir = scratchDirectory("shaper-curve");
    ASSERT_EQ(runPlughost({"curve", SHAPER_MODULE_PATH, "--out", (dir / "c.csv").string()}).exitCode, 0);
    const auto rows = readCsv(dir / "c.csv");
    EXPECT_EQ(outputAt(rows, 0.5), 0.5);
    EXPECT_EQ(outputAt(rows, 1.0), 0.75);
    EXPECT_EQ(outputAt(rows, -1.0), -0.75);
    EXPECT_EQ(outputAt(rows, 2.0), 0.875);
    EXPECT_EQ(outputAt(rows, 0.25), 0.25);
}
#endif

TEST(PlughostCurve, DrawsSvgAndPng)
{
    const auto dir = scratchDirectory("plot");
    ASSERT_EQ(runPlughost({"curve", fakeModule("pass_through"), "--out", (dir / "c.svg").string()}).exitCode, 0);
    ASSERT_EQ(runPlughost({"curve", fakeModule("pass_through"), "--out", (dir / "c.png").string()}).exitCode, 0);
    EXPECT_NE(head(dir / "c.svg", 200).find("<svg"), std::string::npos);
    EXPECT_EQ(head(dir / "c.png", 8), "\x89PNG\r\n\x1a\n");
    EXPECT_GT(std::filesystem::file_size(dir / "c.png"), 5000u);
}

TEST(PlughostCurve, AnyPositiveRangeAndEitherCaseOfTheExtensionWork)
{
    const auto dir = scratchDirectory("ranges");
    const struct {
        const char* range;
        const char* file;
    } cases[] = {
        {"1e-20", "tiny.PNG"}, {"1e-20", "tiny.csv"}, {"1e30", "huge.Svg"}, {"1e30", "huge.CSV"}, {"2", "c.SVG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.range) + " " + c.file);
        const RunResult result =
            runPlughost({"curve", fakeModule("pass_through"), "--range", c.range, "--out", (dir / c.file).string()});
        EXPECT_LT(result.processorSeconds, 5.0);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_GT(std::filesystem::file_size(dir / c.file), 1000u);
    }
    // The table's ends are the range itself.
    std::ifstream table(dir / "huge.CSV");
    std::string header, first;
    std::getline(table, header);
    std::getline(table, first);
    EXPECT_EQ(static_cast<float>(std::stod(first.substr(0, first.find(',')))), -1e30f);
}
