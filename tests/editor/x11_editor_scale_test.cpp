// Xft.dpi read from a display's resources by hand: whatever else the desktop put there, and
// whatever junk, the answer is the density Xft itself would take, or 0.
#include "x11_editor_scale.h"

#include <gtest/gtest.h>

TEST(X11EditorScale, XftDpiIsFoundAmongOtherResourcesAndJunkGivesNone)
{
    const struct {
        const char* resources;
        double dpi;
    } cases[] = {
        {"Xft.dpi:\t192\n", 192.0}, {"Xft.dpi:\t144.5", 144.5}, {"  Xft.dpi : 120 \r\n", 120.0},
        {"*background:\tgrey\nXft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n", 192.0},
        {"Xft.dpi:\t96\nXft.dpi:\t192\n", 192.0}, {"Xft.dpi:\t192\n*dpi:\t96\nXft*dpi:\t120\n", 192.0},
        {"*dpi:\t96\nXft*dpi:\t120\n", 120.0}, {"*dpi:\t288\n", 288.0},
        {"", 0.0}, {"Xft.dpi:\n", 0.0}, {"Xft.dpi:\t-192\n", 0.0}, {"Xft.dpi:\t1e3\n", 0.0},
        {"Xft.dpi:\t19 2\n", 0.0}, {"Xft.dpi:\t1.9.2\n", 0.0}, {"Xft.dpi:\t.\n", 0.0}, {"Xft.dpi:\t0\n", 0.0},
        {"Xft.dpi:\t99999999999999999999999999\n", 0.0}, {"Xft.dpix:\t192\nXXft.dpi:\t192\nXft.dpi\t192\n", 0.0},
        {"Xft.dpi:\tlarge\n*dpi:\t192\n", 192.0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(xftDpiFromResources(c.resources), c.dpi) << c.resources;
    }
}
