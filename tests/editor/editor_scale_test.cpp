// The editor's scale from a screen's density and from the user's override, as every target asks
// them: junk from a screen or a user gives a usable scale, never 0 or one the core cannot draw.
#include "editor_scale.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>

namespace {

void setOverride(const char* value)
{
    const std::string entry = std::string("SOFTKNEESHAPER_EDITOR_SCALE=") + (value ? value : "");
#ifdef _WIN32
    _putenv(entry.c_str()); // "NAME=" removes it
#else
    if (value) {
        setenv("SOFTKNEESHAPER_EDITOR_SCALE", value, 1);
    } else {
        unsetenv("SOFTKNEESHAPER_EDITOR_SCALE");
    }
#endif
}

} // namespace

TEST(EditorScale, DpiGivesTheNearestScaleInRangeAndOneForJunk)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    const struct {
        double dpi;
        int scale;
    } cases[] = {
        {96.0, 1},
        {192.0, 2},
        {288.0, 3},
        {384.0, 4},
        {143.9, 1},
        {144.0, 2},
        {120.0, 1},
        {239.9, 2},
        {1.0, 1},
        {1e300, kMaxEditorScale},
        {inf, 1},
        {-inf, 1},
        {0.0, 1},
        {-192.0, 1},
        {std::numeric_limits<double>::quiet_NaN(), 1},
        {std::numeric_limits<double>::denorm_min(), 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(editorScaleFromDpi(c.dpi), c.scale) << c.dpi;
    }
}

TEST(EditorScale, OverrideTakesOnlyAWholeScaleInRange)
{
    const struct {
        const char* value;
        int scale;
    } cases[] = {
        {"1", 1},
        {"2", 2},
        {"4", 4},
        {"02", 2},
        {nullptr, 0},
        {"", 0},
        {"0", 0},
        {"5", 0},
        {"-2", 0},
        {"+2", 0},
        {" 2", 0},
        {"2 ", 0},
        {"2.0", 0},
        {"1.5", 0},
        {"two", 0},
        {"2x", 0},
        {"99999999999999999999992", 0},
    };
    for (const auto& c : cases) {
        setOverride(c.value);
        EXPECT_EQ(editorScaleOverride(), c.scale) << (c.value ? c.value : "(unset)");
    }
    setOverride(nullptr);
}
