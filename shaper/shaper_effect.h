// The stereo soft-knee waveshaper: two inputs, two outputs, one program and the
// parameters "Boost", "Knee" and "Hardness".
#pragma once

#include "effect_base.h"
#include "project_version.h"

#include <atomic>
#include <cstdint>
#include <string_view>

// The shaper's identity as a host sees it.
inline constexpr std::int32_t kShaperUniqueID = fourCharCode("OQbR");
inline constexpr std::int32_t kShaperNumPrograms = 1;
inline constexpr std::int32_t kShaperNumParams = 3;
inline constexpr std::int32_t kShaperNumChannels = 2;
inline constexpr char kShaperProgramName[] = "Orvantel Quen'Bristle";

// What a scanning host lists: the project's name as effect, maker and product, and the
// project version as one number, major * 10000 + minor * 100 + patch (1.2.3 is 10203).
inline constexpr std::string_view kShaperEffectName = kProjectName;
inline constexpr std::string_view kShaperVendor = kProjectName;
inline constexpr std::string_view kShaperProduct = kProjectName;
static_assert(kProjectVersionMinor >= 0 && kProjectVersionMinor < 100 && kProjectVersionPatch >= 0 &&
                  kProjectVersionPatch < 100 && kProjectVersionMajor >= 0 && kProjectVersionMajor < 214748,
              "each version part must fit its two decimal places");
inline constexpr std::int32_t kShaperVendorVersion =
    kProjectVersionMajor * 10000 + kProjectVersionMinor * 100 + kProjectVersionPatch;

enum ShaperParam : std::int32_t { kBoostParam = 0, kKneeParam = 1, kHardnessParam = 2 };
inline constexpr const char* kShaperParamNames[kShaperNumParams] = {"Boost", "Knee", "Hardness"};
inline constexpr const char* kShaperParamLabels[kShaperNumParams] = {"Soyuz", "Tesk", "Proton"};

class ShaperEffect : public EffectBase {
public:
    // [main thread] audioMaster may be null. Starts at boost 1, knee 0.5, hardness 0.
    explicit ShaperEffect(audioMasterCallback audioMaster);
    ~ShaperEffect() override;

    // [any thread] may race with a block. Stores any value unchecked: boost as value*10 + 1,
    // knee and hardness as given. Another index changes nothing.
    void setParameter(std::int32_t index, float value) override;
    // [any thread] answers what setParameter stored (boost as (boost-1)/10), and 0 for another index.
    float getParameter(std::int32_t index) override;

    // [audio thread] no allocation, no locks. Adds the shaped inputs into the outputs.
    // The host may hand us the same buffer as input and output.
    void process(float** inputs, float** outputs, std::int32_t sampleFrames) override;
    // [audio thread] no allocation, no locks. Writes the shaped inputs over the outputs.
    void processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) override;

    // [main thread] the one program; the parameters belong to the effect, not to it.
    void setProgram(std::int32_t program) override;
    // [main thread] keeps the first 31 characters of name.
    void setProgramName(char* name) override;
    // [main thread] writes at most 32 bytes into name.
    void getProgramName(char* name) override;
    // [any thread] for the host's generic display; another index leaves the buffer untouched.
    void getParamLabel(std::int32_t index, char* label) override;
    void getParamDisplay(std::int32_t index, char* text) override;
    void getParamName(std::int32_t index, char* text) override;
    // [main thread] nothing to do: no signal state survives a block.
    void suspend() override;

    // [any thread] asked by a host that scans the module; the answers never change.
    std::int32_t getPlugCategory() override;
    std::int16_t getEffectName(char* name) override;
    std::int16_t getVendorString(char* text) override;
    std::int16_t getProductString(char* text) override;
    std::int32_t getVendorVersion() override;

private:
    std::atomic<float> boost;
    std::atomic<float> knee;
    std::atomic<float> hardness;
    char programName[32];
};
