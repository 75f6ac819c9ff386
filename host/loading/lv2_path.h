// Where plughost looks for LV2 plug-ins: LV2_PATH as the user typed it, each entry made an
// absolute folder before lilv reads it (lilv takes a relative entry for a URI and can crash
// on it), and the LV2 vocabulary bundles lilv needs to name a plug-in's class.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace plughost {

struct Lv2SearchPath {
    std::vector<std::filesystem::path> folders; // absolute, existing, in the order given
    std::vector<std::string> missing;           // entries as given that name no folder
    std::string described;                      // "LV2_PATH dist/lv2" or lilv's default folders, for messages
};

// LV2_PATH's entries, each with `~` expanded and made absolute; lilv's default folders
// (~/.lv2, /usr/local/lib/lv2, /usr/lib/lv2) when it is unset. Empty entries are skipped.
Lv2SearchPath lv2SearchPath();

// The folders as one LV2_PATH for lilv, joined by ':'.
std::string joinedPath(const std::vector<std::filesystem::path>& folders);

// The vocabulary bundles (core.lv2, units.lv2) that no folder of `loaded` holds, each found
// first in `lookFirst` and then in the system's LV2 folders, so that a plug-in's class and
// units have their names also when LV2_PATH holds its bundle's folder alone.
std::vector<std::filesystem::path> missingVocabularies(const std::vector<std::filesystem::path>& loaded,
                                                       const std::vector<std::filesystem::path>& lookFirst);

} // namespace plughost
