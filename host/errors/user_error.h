// host/errors/: how a command ends other than by finishing: a UserError here, or a
// signal while it writes a file (interruption.h). Every other room builds on this one.
//
// A fault the user can cause or fix (a wrong path, a broken module, a bad
// option value). Its message is one line, shown as it stands after "plughost: ",
// and plughost exits with kUserErrorExit.
#pragma once

#include <stdexcept>

namespace plughost {

constexpr int kUserErrorExit = 2;

class UserError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace plughost
