// host/validation/: the checks of `plughost validate`, declared here, run in
// lifecycle, scan and processing order, with what they share in validate_support.cpp.
//
// The validator's checks. Each drives fresh effects of one module the way a
// demanding host would and throws CheckFailure with the reason when the module
// misbehaves.
#pragma once

#include "audio_path_counter.h"
#include "channel_buffers.h"
#include "module.h"

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace plughost {

class CheckFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CheckContext {
    const Module& module;
    std::mt19937_64 random;

    float uniform(float low, float high) { return std::uniform_real_distribution<float>(low, high)(random); }
    int uniformInt(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
};

struct Check {
    const char* name;
    void (*run)(CheckContext&);
};

// The checks in the order they run: lifecycle and texts, the answers to a host's scan, then processing.
std::vector<Check> lifecycleChecks();
std::vector<Check> scanChecks();
std::vector<Check> processingChecks();

// Shared by the checks: a test signal in, the block run with the audio-path
// count armed, and the output inspected.
class BlockRunner {
public:
    static constexpr int kGuardFrames = 64;

    BlockRunner(const Effect& effect, int maxFrames);

    void fillNoise(CheckContext& context, int frames, float amplitude);
    void fillWith(int frames, float (*sample)(int index, int channel));
    void fillConstant(int frames, float value);

    // Runs processReplacing (process into cleared outputs when the module
    // cannot replace) with outputs pre-marked, then checks that every sample
    // up to `frames` was written, nothing past it was, and the inputs are as they were.
    void runChecked(int frames, const std::string& where);
    // Runs one block without the integrity checks, e.g. for hostile inputs.
    void run(int frames);
    // Runs with each output buffer being its channel's input buffer.
    void runInPlace(int frames, const std::string& where);
    void runAccumulating(int frames, const std::string& where);

    // Fails unless the first `frames` output samples are finite (and, when asked, not subnormal).
    void requireFiniteOutput(int frames, const std::string& where, bool rejectSubnormal = false);

private:
    void markOutputs();
    const Effect& effect;
    int capacity;
    ChannelBuffers inputs;
    ChannelBuffers outputs;
    std::vector<std::vector<float>> inputCopy;
};

// Runs one process call with the audio-path count armed.
void processWatched(const Effect& effect, float** inputs, float** outputs, int frames, bool accumulate);

std::string describe(float value);

} // namespace plughost
