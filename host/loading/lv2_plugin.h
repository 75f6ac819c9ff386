// An LV2 plug-in loaded through lilv, behind the AudioPlugin interface. Its Turtle
// description is read once; instances are made by start() at the run's rate and freed
// by stop(). A plug-in with one audio input and one audio output runs as two
// instances, one per channel; any other runs as one.
#pragma once

#include "audio_plugin.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace plughost {

struct Lv2Port {
    enum class Kind { audio, control, atom, cv, other };
    std::uint32_t index = 0;
    std::string symbol, name;
    Kind kind = Kind::other;
    bool input = false;
    bool optional = false; // lv2:connectionOptional
    std::optional<float> minimum, maximum, defaultValue;
    std::string unit;                                       // its symbol ("dB", "Hz") where the Turtle names one
    std::vector<std::string> properties;                    // toggled, integer, enumeration, reportsLatency, ...
    std::vector<std::pair<std::string, float>> scalePoints; // label and value, in value order

    bool has(const std::string& property) const
    {
        return std::find(properties.begin(), properties.end(), property) != properties.end();
    }
};

// What the Turtle says about the plug-in, for info.
struct Lv2Description {
    std::string uri, name, className, author, bundle, binary;
    std::vector<std::string> requiredFeatures, optionalFeatures;
    std::vector<Lv2Port> ports;
    std::optional<std::uint32_t> latencyPort;
};

class Lv2Plugin final : public AudioPlugin {
public:
    // Finds the plug-in named by `module` (a URI on LV2_PATH or a bundle folder), checks
    // its description, its features and its ports, and applies the settings. Throws
    // UserError for anything that keeps it from running here.
    // A preset, when named (its label, case ignored, or its URI), applies before the settings.
    Lv2Plugin(const std::string& module, const std::vector<std::string>& settings, const std::string& preset = {});
    ~Lv2Plugin() override;
    Lv2Plugin(const Lv2Plugin&) = delete;
    Lv2Plugin& operator=(const Lv2Plugin&) = delete;

    const Lv2Description& description() const noexcept;

    std::string name() const override;
    int inputs() const override;
    int outputs() const override;
    void start(double sampleRate, int longestBlock) override;
    void process(const float* const* inputs, float* const* outputs, int frames) override;
    void stop() override;
    int latency() const override;

private:
    struct State;
    std::unique_ptr<State> state;
};

} // namespace plughost
