// The meters' peak of a block, taken in eight running peaks and a tail.
#include "peak_meter.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

TEST(PeakMeter, PeakOfMissesASampleOrCountsANonFiniteOne)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* what;
        std::vector<float> samples;
        float peak;
    } rows[] = {
        {"nothing", {}, 0.0f},
        {"loudest in the tail after a group of eight", {0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, -0.9f}, 0.9f},
        {"loudest in the second group", {0.1f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -0.7f, 0.2f, 0}, 0.7f},
        {"non-finite samples beside a quiet one", {inf, -inf, nan, -nan, 0.25f, inf, nan, -inf, nan}, 0.25f},
        {"negative zeros only", {-0.0f, -0.0f, -0.0f}, 0.0f},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(PeakMeter::peakOf(row.samples.data(), static_cast<int>(row.samples.size())), row.peak) << row.what;
    }
}

} // namespace
