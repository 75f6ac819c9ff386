// The scale of an editor shown on X11, asked in order: the user's override (who sets it knows
// better than any guess), then the host's request where its format has one, then the display's
// Xft.dpi resource, the density the desktop tells its programs; 1 when none says otherwise.
#pragma once

#include <string_view>

// The dpi that a resource string in the form of the RESOURCE_MANAGER property (lines of
// "name:<tab>value") gives for Xft.dpi, the tightest binding winning (Xft.dpi, then Xft*dpi, then
// *dpi); 0 when it names none, or only values that are no decimal number from above 0 to a million.
double xftDpiFromResources(std::string_view resources) noexcept;

// [ui thread] The editor's scale; hostRequest is a whole scale the host asked for, 0 for none.
// Reads the resources through a connection of its own to the display DISPLAY names.
int x11EditorScale(int hostRequest) noexcept;
