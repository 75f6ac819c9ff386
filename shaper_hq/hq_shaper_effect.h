// SoftKneeShaper HQ as a VST 2 effect: the anti-aliased, click-free soft-knee curve of
// soft_knee_hq.h, two inputs, two outputs, the controls of kHqControls as parameters
// (hq_parameters.h), the factory presets of kHqPresets as programs, a soft bypass, and an
// editor (hq_editor.h) on Linux and Windows.
#pragma once

#include "effect_base.h"
#include "hq_parameters.h"
#include "peak_meter.h"
#include "project_version.h"
#include "soft_knee_hq.h"
#include "soft_knee_hq_presets.h"

#include <atomic>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string_view>

// The HQ shaper's identity as a host sees it: its own unique ID and name beside the first
// effect's, the same maker and version.
inline constexpr std::int32_t kHqUniqueID = fourCharCode("OQbH");
inline constexpr std::int32_t kHqNumPrograms = static_cast<std::int32_t>(std::size(kHqPresets));
inline constexpr std::int32_t kHqNumChannels = 2;
inline constexpr std::string_view kHqEffectName = "SoftKneeShaper HQ";
inline constexpr std::string_view kHqVendor = kProjectName;
inline constexpr std::string_view kHqProduct = kHqEffectName;
inline constexpr std::int32_t kHqVendorVersion =
    kProjectVersionMajor * 10000 + kProjectVersionMinor * 100 + kProjectVersionPatch;

class HqShaperEffect : public EffectBase {
public:
    // [main thread] audioMaster may be null. Makes the core, whose latency the record reports
    // from here on, and starts on program 0, the controls' initial values, where a new LV2
    // instance starts too.
    explicit HqShaperEffect(audioMasterCallback audioMaster);
    ~HqShaperEffect() override;

    // [any thread] may race with a block. Any float: hq_parameters.h says what each becomes.
    // Another index changes nothing.
    void setParameter(std::int32_t index, float value) override;
    // [any thread] the host's 0..1 value of what the parameter holds; 0 for another index.
    float getParameter(std::int32_t index) override;

    // [audio thread] no allocation, no locks. Adds the shaped inputs into the outputs, or
    // writes them over the outputs. The host may hand us the same buffer as input and output,
    // and one buffer for both inputs; a frame count of 0 or less does nothing.
    void process(float** inputs, float** outputs, std::int32_t sampleFrames) override;
    void processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) override;

    // [main thread] Switching to a program sets every parameter to its values, and the core
    // glides there; a parameter changed afterwards leaves the program's values as they were.
    void setProgram(std::int32_t program) override;
    // [main thread] The current program's name; at most kProgramMenuNameBytes - 1 characters kept.
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    std::int16_t getProgramNameIndexed(std::int32_t program, char* name) override;

    // [any thread] for the host's generic display; another index leaves the buffer untouched.
    void getParamLabel(std::int32_t index, char* label) override;
    void getParamDisplay(std::int32_t index, char* text) override;
    void getParamName(std::int32_t index, char* text) override;

    // [main thread, never during a block] A new rate prepares the core for it, and switching
    // on clears its filters, so that nothing from before is heard. The latency is the same at
    // every rate and Quality.
    void setSampleRate(float sampleRate) override;
    void suspend() override;
    void resume() override;

    // [any thread] asked by a host that scans the module; the answers never change.
    std::int32_t getPlugCategory() override;
    std::int16_t getEffectName(char* name) override;
    std::int16_t getVendorString(char* text) override;
    std::int16_t getProductString(char* text) override;
    std::int32_t getVendorVersion() override;

    // [audio or main thread] Bypasses softly: the core fades to the input delayed by the same
    // latency, so the host keeps the delay it compensates. Answers 1.
    std::int32_t setBypass(bool bypassed) override;
    // [any thread] 1 for "bypass", 0 for anything else.
    std::int32_t canDo(const char* capability) override;

    // [any thread] What a control holds, in its own units; 0 for another index.
    float controlValue(std::int32_t index) const;
    // [ui thread takes, audio thread raises] The peaks of the inputs and outputs since the last take.
    PeakMeter& inputMeter() { return inputMeter_; }
    PeakMeter& outputMeter() { return outputMeter_; }

private:
    // Raises a meter to the peak of a block of both channels.
    static void meter(PeakMeter& meter, const float* left, const float* right, std::int32_t frames);
    // Holds a value in the control's units and hands it to the core.
    void apply(std::int32_t index, float value);

    std::unique_ptr<SoftKneeHq> core;
    std::atomic<float> values[kHqNumParams];
    char programNames[kHqNumPrograms][kProgramMenuNameBytes];
    PeakMeter inputMeter_;
    PeakMeter outputMeter_;
};
