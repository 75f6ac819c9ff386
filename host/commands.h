// The sub-commands of plughost. Each answers the process exit code and throws
// UserError for a fault the user can fix.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plughost {

int runInfo(const std::string& modulePath, bool json);

struct ValidateOptions {
    std::string modulePath;
    std::optional<std::uint64_t> seed; // a fresh one is drawn when none is given
    int repeat = 1;
};
int runValidate(const ValidateOptions& options);

#ifndef PLUGHOST_INFO_AND_VALIDATE_ONLY
struct RenderOptions {
    std::string modulePath;
    std::string inputPath;
    std::string outputPath;
    std::vector<std::string> settings; // NAME=VALUE, values normalised 0 to 1
    int blockSize = 512;
    bool accumulate = false;
    std::string sampleFormat; // pcm16, pcm24 or float in any case; empty: like the input
};
int runRender(const RenderOptions& options);

struct CurveOptions {
    std::string modulePath;
    std::vector<std::string> settings;
    double range = 2.0;
    std::string outputPath; // .svg, .png or .csv
};
int runCurve(const CurveOptions& options);
#endif

} // namespace plughost
