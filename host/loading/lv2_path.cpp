#include "lv2_path.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace plughost {

namespace {

// The folders lilv searches when LV2_PATH is unset, and where Debian's lv2-dev puts the vocabularies.
const char* const kSystemFolders[] = {"/usr/local/lib/lv2", "/usr/lib/lv2", "/usr/lib/x86_64-linux-gnu/lv2",
                                      "/usr/lib/i386-linux-gnu/lv2", "/usr/lib/aarch64-linux-gnu/lv2"};
const char* const kVocabularies[] = {"core.lv2", "units.lv2"};

std::string homeFolder(const std::string& user)
{
    if (user.empty())
        if (const char* home = std::getenv("HOME"); home && *home)
            return home;
    const passwd* entry = user.empty() ? getpwuid(getuid()) : getpwnam(user.c_str());
    return entry && entry->pw_dir ? entry->pw_dir : "";
}

// "~", "~/lv2" and "~name/lv2" as a shell expands them; an unknown user's stays as typed.
std::string expandHome(const std::string& entry)
{
    if (entry.empty() || entry[0] != '~')
        return entry;
    const auto slash = entry.find('/');
    const std::string home = homeFolder(entry.substr(1, slash == std::string::npos ? std::string::npos : slash - 1));
    if (home.empty())
        return entry;
    return home + (slash == std::string::npos ? "" : entry.substr(slash));
}

} // namespace

Lv2SearchPath lv2SearchPath()
{
    Lv2SearchPath path;
    const char* set = std::getenv("LV2_PATH");
    std::string entries;
    if (set) {
        entries = set;
        path.described = *set ? "LV2_PATH " + entries : "LV2_PATH, which is empty";
    } else {
        entries = "~/.lv2:/usr/local/lib/lv2:/usr/lib/lv2";
        path.described = "lilv's default folders, LV2_PATH being unset";
    }
    std::stringstream parts(entries);
    for (std::string entry; std::getline(parts, entry, ':');) {
        if (entry.empty())
            continue;
        std::error_code error;
        std::filesystem::path folder = std::filesystem::absolute(expandHome(entry), error).lexically_normal();
        if (!error && folder.has_filename() == false && folder != folder.root_path())
            folder = folder.parent_path(); // a trailing slash
        if (error || !std::filesystem::is_directory(folder, error)) {
            if (set)
                path.missing.push_back(entry);
            continue;
        }
        path.folders.push_back(folder);
    }
    return path;
}

std::string joinedPath(const std::vector<std::filesystem::path>& folders)
{
    std::string text;
    for (const auto& folder : folders)
        text += (text.empty() ? "" : ":") + folder.string();
    return text;
}

std::vector<std::filesystem::path> missingVocabularies(const std::vector<std::filesystem::path>& loaded,
                                                       const std::vector<std::filesystem::path>& lookFirst)
{
    const auto holds = [](const std::filesystem::path& folder, const char* vocabulary) {
        std::error_code error;
        return std::filesystem::exists(folder / vocabulary / "manifest.ttl", error);
    };
    std::vector<std::filesystem::path> places = lookFirst;
    places.insert(places.end(), std::begin(kSystemFolders), std::end(kSystemFolders));
    std::vector<std::filesystem::path> found;
    for (const char* vocabulary : kVocabularies) {
        if (std::any_of(loaded.begin(), loaded.end(), [&](const auto& folder) { return holds(folder, vocabulary); }))
            continue;
        const auto place =
            std::find_if(places.begin(), places.end(), [&](const auto& f) { return holds(f, vocabulary); });
        if (place != places.end())
            found.push_back(*place / vocabulary);
    }
    return found;
}

} // namespace plughost
