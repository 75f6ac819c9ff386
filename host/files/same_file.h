// Refusing an output that would overwrite one of the command's own inputs.
#pragma once

#include <string>

namespace plughost {

// True when both paths name one existing file: the same device and inode once
// links are followed, so "a.wav", "./a.wav", a symbolic link and a hard link all match.
bool sameFile(const std::string& first, const std::string& second);

// Throws UserError naming `role` ("input", "module") when `output` is the file at `input`.
// Call it before anything is opened for writing.
void refuseOverwriting(const std::string& output, const std::string& input, const char* role);

} // namespace plughost
