#include "atomic_output.h"

#include "user_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace plughost {

namespace {

namespace fs = std::filesystem;

std::string systemError()
{
    return std::strerror(errno);
}

// The permissions a new file would get, or an existing target's own.
mode_t permissionsFor(const fs::path& destination)
{
    struct stat existing {};
    if (::stat(destination.c_str(), &existing) == 0)
        return existing.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// fsync on a descriptor opened read-only is enough on Linux.
bool syncToDisk(const fs::path& path)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool synced = ::fsync(descriptor) == 0 || errno == EINVAL;
    ::close(descriptor);
    return synced;
}

// The file a chain of symbolic links at path names, which need not exist yet; path itself
// when it is no link.
fs::path followLinks(const std::string& path)
{
    constexpr int kMostLinks = 40; // as the kernel allows in one path
    fs::path destination = path;
    std::error_code error;
    for (int links = 0; fs::is_symlink(destination, error); ++links) {
        if (links == kMostLinks)
            throw UserError(path + ": too many symbolic links in a chain; name the file to write");
        const fs::path next = fs::read_symlink(destination, error);
        if (error)
            throw UserError(path + ": cannot read the symbolic link " + destination.string() + ": " + error.message());
        destination = next.is_absolute() ? next : destination.parent_path() / next;
    }
    return destination;
}

} // namespace

AtomicOutput::AtomicOutput(std::string target) : targetPath(std::move(target))
{
    std::error_code error;
    // A link is written through, also to a file that does not exist yet: the file it names
    // is replaced or made, the link kept.
    const fs::path destination = followLinks(targetPath);
    const fs::path linkedFolder = destination.parent_path().empty() ? fs::path(".") : destination.parent_path();
    if (destination != fs::path(targetPath) && !fs::is_directory(linkedFolder, error))
        throw UserError(targetPath + ": is a link to " + destination.string() +
                        ", whose folder does not exist; make the folder or name another file");
    if (fs::is_directory(destination, error))
        throw UserError(targetPath + ": is a folder; name the file to write");
    // Renaming over a device or a pipe would replace it with a plain file.
    if (fs::exists(destination, error) && !fs::is_regular_file(destination, error))
        throw UserError(targetPath + ": is not a regular file; name a new or a regular file to write");
    const fs::path folder = destination.parent_path().empty() ? fs::path(".") : destination.parent_path();
    std::string pattern = (folder / ("." + destination.filename().string() + ".plughost-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int descriptor = ::mkostemp(name.data(), O_CLOEXEC);
    if (descriptor < 0)
        throw UserError(targetPath + ": cannot create a file in " + folder.string() + ": " + systemError());
    temporaryPath = name.data();
    const bool permitted = ::fchmod(descriptor, permissionsFor(destination)) == 0;
    ::close(descriptor);
    if (!permitted) {
        const std::string reason = systemError();
        discard();
        throw UserError(targetPath + ": cannot set the new file's permissions: " + reason);
    }
    renameTo = destination.string();
}

AtomicOutput::~AtomicOutput()
{
    if (!committed)
        discard();
}

void AtomicOutput::checkInterrupted() const
{
    throwIfInterrupted("interrupted; " + targetPath + " was left as it was");
}

void AtomicOutput::commit()
{
    checkInterrupted();
    if (!syncToDisk(temporaryPath)) {
        const std::string reason = systemError();
        discard();
        throw UserError(targetPath + ": cannot be completed: " + reason);
    }
    if (::rename(temporaryPath.c_str(), renameTo.c_str()) != 0) {
        const std::string reason = systemError();
        discard();
        throw UserError(targetPath + ": cannot be replaced: " + reason);
    }
    committed = true;
    // The rename itself reaches the disk with the folder.
    syncToDisk(fs::path(renameTo).parent_path().empty() ? fs::path(".") : fs::path(renameTo).parent_path());
}

void AtomicOutput::discard() noexcept
{
    if (!temporaryPath.empty())
        ::unlink(temporaryPath.c_str());
    temporaryPath.clear();
}

} // namespace plughost
