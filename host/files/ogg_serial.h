// Ogg streams carry a serial number that libsndfile draws at random for each
// file; setting a fixed one afterwards makes equal audio give equal bytes.
#pragma once

#include <cstdint>
#include <string>

namespace plughost {

// Rewrites every page's serial number and checksum in place. Answers false
// when the file cannot be read or written or is not a sequence of Ogg pages.
bool setOggSerial(const std::string& path, std::uint32_t serial);

} // namespace plughost
