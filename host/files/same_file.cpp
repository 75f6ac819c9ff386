#include "same_file.h"

#include "user_error.h"

#include <sys/stat.h>

namespace plughost {

bool sameFile(const std::string& first, const std::string& second)
{
    struct stat a {};
    struct stat b {};
    if (::stat(first.c_str(), &a) != 0 || ::stat(second.c_str(), &b) != 0)
        return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void refuseOverwriting(const std::string& output, const std::string& input, const char* role)
{
    if (sameFile(output, input))
        throw UserError(output + ": is the " + role + " file " + input + "; write the output to another file");
}

} // namespace plughost
