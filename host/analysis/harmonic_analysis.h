// host/analysis/: what an effect does to a tone (here, steady_tone.h, tone_setup.h)
// and the pictures of it and of the transfer curve (tone_plots.h, plot.h).
//
// The harmonic analysis of a steady tone: one windowed FFT (FFTW) of an effect's
// output, and the figures read off it. The window is the seven-term
// Blackman-Harris window: its side lobes lie near -180 dB, below the rounding
// of 32-bit float samples, so the floor seen is the signal's own.
#pragma once

#include <fftw3.h>

#include <cstddef>
#include <vector>

namespace plughost {

inline constexpr const char* kAnalysisWindowName = "7-term Blackman-Harris";

struct Component {
    double frequency = 0.0;  // Hz
    double amplitude = 0.0;  // peak amplitude, full scale 1
    double relativeDb = 0.0; // re the fundamental
    bool aboveFloor = false;
};

struct Harmonic : Component {
    int order = 0; // 2 for the second harmonic
};

// A harmonic above Nyquist, measured where it folds back; `frequency` is that place.
struct Alias : Component {
    int order = 0; // 0 when there is none
    double harmonicFrequency = 0.0;
};

struct ToneFigures {
    double tone = 0.0;
    double sampleRate = 0.0;
    std::size_t length = 0;          // FFT points
    Component fundamental;           // relativeDb 0, aboveFloor true while it is not silent
    std::vector<Harmonic> harmonics; // every harmonic below Nyquist, from the second up
    double thd = 0.0;                // ratio of all harmonics' amplitude to the fundamental's
    double thdPlusNoise = 0.0;       // ratio of everything but DC and the fundamental to the fundamental
    double floorDb = 0.0;            // re the fundamental; a component below it is not told from noise and rounding
    // Of the first kAliasOrders harmonics above Nyquist, lowest order first, each one whose band
    // peaks where it folds to; one that lands on DC, the tone, a harmonic or a lower alias is
    // counted with that, and one whose band peaks elsewhere (hidden by another component) is left out.
    std::vector<Alias> aliases;
    int hiddenAliases = 0;        // of those, how many land on DC, the tone or a harmonic
    Alias strongestAlias;         // the loudest alias in the audible band (20 Hz to 20 kHz or Nyquist)
    Alias strongestAliasAnywhere; // the loudest alias below Nyquist
    Component largestOther;       // the largest component away from DC, the tone, its harmonics and aliases
};

struct ToneSpectrum {
    ToneFigures figures;
    double binWidth = 0.0;         // Hz
    std::vector<double> levelDbfs; // bins 0 to length/2: the level of a sine centred on the bin
};

// The seven-term Blackman-Harris window of `length` points, as every analysis here uses it.
std::vector<double> analysisWindow(std::size_t length);

// FFT points for a tone: 65536, or more for a low tone, so that harmonics lie at
// least 24 bins apart. 0 when the tone is too low for the largest length.
std::size_t analysisLength(double tone, double sampleRate);

// The lowest tone analysisLength accepts at the rate.
double lowestTone(double sampleRate);

// Analyses analysisLength(tone, sampleRate) samples of a steady output. The FFT
// plan and the window are made once and serve every call.
class ToneAnalyser {
public:
    ToneAnalyser(double tone, double sampleRate);
    ~ToneAnalyser();
    ToneAnalyser(const ToneAnalyser&) = delete;
    ToneAnalyser& operator=(const ToneAnalyser&) = delete;

    std::size_t length() const noexcept { return window.size(); }

    // `samples` holds length() finite samples.
    ToneSpectrum analyse(const std::vector<float>& samples) const;

private:
    double tone, sampleRate;
    std::vector<double> window;
    double windowPower = 0.0; // sum of the squared window
    double* timeData = nullptr;
    fftw_complex* frequencyData = nullptr;
    fftw_plan plan = nullptr;
};

} // namespace plughost
