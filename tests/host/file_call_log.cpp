// Preloaded into plughost by the data safety tests: appends each fsync and rename that the
// program makes, with the paths it concerns, to the file named by PLUGHOST_FILE_CALL_LOG,
// then makes the call itself.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

template <typename Function> Function real(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void note(const char* call, const char* first, const char* second)
{
    const char* log = std::getenv("PLUGHOST_FILE_CALL_LOG");
    if (log == nullptr)
        return;
    char line[8192];
    const int length = std::snprintf(line, sizeof line, "%s %s %s\n", call, first, second);
    const int descriptor = ::open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor >= 0 && length > 0) {
        [[maybe_unused]] const ssize_t written = ::write(descriptor, line, static_cast<std::size_t>(length));
        ::close(descriptor);
    }
}

} // namespace

extern "C" int fsync(int descriptor)
{
    char link[64];
    char path[4096] = "";
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    const ssize_t length = ::readlink(link, path, sizeof path - 1);
    path[length > 0 ? length : 0] = '\0';
    note("fsync", path, "");
    return real<int (*)(int)>("fsync")(descriptor);
}

extern "C" int rename(const char* from, const char* to)
{
    note("rename", from, to);
    return real<int (*)(const char*, const char*)>("rename")(from, to);
}
