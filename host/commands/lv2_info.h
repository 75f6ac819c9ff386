// info for an LV2 plug-in: what its Turtle says and the latency it reports when run.
#pragma once

#include <string>

namespace plughost {

int runLv2Info(const std::string& module, bool json);

} // namespace plughost
