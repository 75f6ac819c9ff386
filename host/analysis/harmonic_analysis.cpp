#include "harmonic_analysis.h"

#include "aliases.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <numbers>

namespace plughost {

namespace {

constexpr std::size_t kShortestLength = std::size_t{1} << 16;
constexpr std::size_t kLongestLength = std::size_t{1} << 22;
constexpr double kLeastBinsPerTone = 24.0;

// The window's main lobe reaches 7 bins either side of a component; one more
// catches a tone that falls between bins. A component's power is the sum over its band.
constexpr std::size_t kBandHalfWidth = 8;

// Rounding a sample to 32-bit float leaves components near -150 dB re the
// signal, on its harmonics when the tone's period is a whole number of samples.
constexpr double kRoundingFloorDb = -140.0;
// Noise summed over a band stays this far below the floor almost always.
constexpr double kNoiseMarginDb = 10.0;

// Seven-term Blackman-Harris: w(n) = sum a_k cos(2 pi k n / N) with alternating signs.
constexpr double kWindowTerms[] = {0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803,
                                   0.01081174209837, 0.00077658482522, 0.00001388721735};

double decibels(double ratio)
{
    return 20.0 * std::log10(ratio);
}

enum class BinKind : unsigned char { other, dc, fundamental, harmonic, alias };

} // namespace

std::size_t analysisLength(double tone, double sampleRate)
{
    for (std::size_t length = kShortestLength; length <= kLongestLength; length *= 2)
        if (tone * static_cast<double>(length) / sampleRate >= kLeastBinsPerTone)
            return length;
    return 0;
}

double lowestTone(double sampleRate)
{
    return kLeastBinsPerTone * sampleRate / static_cast<double>(kLongestLength);
}

std::vector<double> analysisWindow(std::size_t length)
{
    std::vector<double> window(length);
    for (std::size_t i = 0; i < length; ++i) {
        const double phase = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(length);
        double w = 0.0;
        for (std::size_t k = 0; k < std::size(kWindowTerms); ++k)
            w += (k % 2 ? -1.0 : 1.0) * kWindowTerms[k] * std::cos(static_cast<double>(k) * phase);
        window[i] = w;
    }
    return window;
}

ToneAnalyser::ToneAnalyser(double tone, double sampleRate)
    : tone(tone), sampleRate(sampleRate), window(analysisWindow(analysisLength(tone, sampleRate)))
{
    const std::size_t n = window.size();
    for (const double w : window)
        windowPower += w * w;
    timeData = fftw_alloc_real(n);
    frequencyData = fftw_alloc_complex(n / 2 + 1);
    if (timeData && frequencyData)
        plan = fftw_plan_dft_r2c_1d(static_cast<int>(n), timeData, frequencyData, FFTW_ESTIMATE);
    if (!plan) {
        fftw_free(timeData);
        fftw_free(frequencyData);
        throw std::bad_alloc();
    }
}

ToneAnalyser::~ToneAnalyser()
{
    fftw_destroy_plan(plan);
    fftw_free(timeData);
    fftw_free(frequencyData);
}

ToneSpectrum ToneAnalyser::analyse(const std::vector<float>& samples) const
{
    const std::size_t n = window.size();
    for (std::size_t i = 0; i < n; ++i)
        timeData[i] = window[i] * static_cast<double>(samples[i]);
    fftw_execute(plan);

    const std::size_t half = n / 2;
    std::vector<double> power(half + 1);
    for (std::size_t k = 0; k <= half; ++k)
        power[k] = frequencyData[k][0] * frequencyData[k][0] + frequencyData[k][1] * frequencyData[k][1];

    ToneSpectrum spectrum;
    spectrum.binWidth = sampleRate / static_cast<double>(n);
    // A sine of amplitude A puts N * A^2 / 4 * sum(w^2) into its positive-frequency band.
    const auto amplitudeOf = [&](double bandPower) {
        return std::sqrt(4.0 * bandPower / (static_cast<double>(n) * windowPower));
    };
    // A sine centred on bin k shows |X_k| = A / 2 * sum(w) = A / 2 * a0 * N.
    const double peakScale = 2.0 / (kWindowTerms[0] * static_cast<double>(n));
    spectrum.levelDbfs.resize(half + 1);
    for (std::size_t k = 0; k <= half; ++k)
        spectrum.levelDbfs[k] = decibels(peakScale * std::sqrt(power[k]));

    std::vector<BinKind> kinds(half + 1, BinKind::other);
    const auto claimBand = [&](double frequency, BinKind kind) {
        const auto centre = static_cast<std::size_t>(std::llround(frequency / spectrum.binWidth));
        double sum = 0.0;
        for (std::size_t k = centre > kBandHalfWidth ? centre - kBandHalfWidth : 0;
             k <= std::min(centre + kBandHalfWidth, half); ++k) {
            sum += power[k];
            kinds[k] = kind;
        }
        return sum;
    };
    claimBand(0.0, BinKind::dc);

    ToneFigures& figures = spectrum.figures;
    figures.tone = tone;
    figures.sampleRate = sampleRate;
    figures.length = n;
    const double fundamentalPower = claimBand(tone, BinKind::fundamental);
    figures.fundamental.frequency = tone;
    figures.fundamental.amplitude = amplitudeOf(fundamentalPower);
    const double reference = figures.fundamental.amplitude;
    figures.fundamental.relativeDb = 0.0;
    figures.fundamental.aboveFloor = reference > 0.0;

    double harmonicPower = 0.0;
    for (int order = 2; order * tone < sampleRate / 2.0; ++order) {
        Harmonic harmonic;
        harmonic.order = order;
        harmonic.frequency = order * tone;
        const double bandPower = claimBand(harmonic.frequency, BinKind::harmonic);
        harmonicPower += bandPower;
        harmonic.amplitude = amplitudeOf(bandPower);
        harmonic.relativeDb = decibels(harmonic.amplitude / reference);
        figures.harmonics.push_back(harmonic);
    }

    // Lowest order first, so where two aliases meet the band goes to the one usually louder.
    for (const AliasOrder& order : aliasOrders(tone, sampleRate)) {
        const auto centre = static_cast<std::size_t>(std::llround(order.folded / spectrum.binWidth));
        if (centre > half || kinds[centre] != BinKind::other) {
            if (centre <= half && kinds[centre] != BinKind::alias)
                ++figures.hiddenAliases;
            continue;
        }
        // A band whose peak lies away from the alias's own place holds something else, left as other.
        const std::size_t first = centre > kBandHalfWidth ? centre - kBandHalfWidth : 0;
        const std::size_t last = std::min(centre + kBandHalfWidth, half);
        std::size_t peak = centre;
        for (std::size_t k = first; k <= last; ++k)
            if (kinds[k] == BinKind::other && power[k] > power[peak])
                peak = k;
        if (peak + 1 < centre || peak > centre + 1)
            continue;
        double bandPower = 0.0;
        for (std::size_t k = first; k <= last; ++k)
            if (kinds[k] == BinKind::other) {
                bandPower += power[k];
                kinds[k] = BinKind::alias;
            }
        Alias alias;
        alias.order = order.order;
        alias.harmonicFrequency = order.harmonicFrequency;
        alias.frequency = order.folded;
        alias.amplitude = amplitudeOf(bandPower);
        alias.relativeDb = decibels(alias.amplitude / reference);
        figures.aliases.push_back(alias);
    }

    double restPower = 0.0;
    std::vector<double> otherPower;
    std::size_t loudestOther = 0;
    for (std::size_t k = 0; k < half; ++k) {
        if (kinds[k] == BinKind::dc || kinds[k] == BinKind::fundamental)
            continue;
        restPower += power[k];
        if (kinds[k] != BinKind::other)
            continue;
        otherPower.push_back(power[k]);
        if (loudestOther == 0 || power[k] > power[loudestOther])
            loudestOther = k;
    }
    // A silent fundamental: no distortion when the rest is silent too, and without bound when it is not.
    const auto ratio = [&](double power) {
        if (fundamentalPower > 0.0)
            return std::sqrt(power / fundamentalPower);
        return power > 0.0 ? std::numeric_limits<double>::infinity() : 0.0;
    };
    figures.thd = ratio(harmonicPower);
    figures.thdPlusNoise = ratio(restPower);

    // The noise floor: the median bin, as the level of a band of it, raised by a margin.
    double noiseAmplitude = 0.0;
    if (!otherPower.empty()) {
        const auto middle = otherPower.begin() + static_cast<std::ptrdiff_t>(otherPower.size() / 2);
        std::nth_element(otherPower.begin(), middle, otherPower.end());
        noiseAmplitude = amplitudeOf(*middle * static_cast<double>(2 * kBandHalfWidth + 1));
    }
    figures.floorDb = std::max(decibels(noiseAmplitude / reference) + kNoiseMarginDb, kRoundingFloorDb);

    if (loudestOther != 0) {
        double sum = 0.0, moment = 0.0;
        for (std::size_t k = loudestOther > kBandHalfWidth ? loudestOther - kBandHalfWidth : 0;
             k <= std::min(loudestOther + kBandHalfWidth, half); ++k) {
            if (kinds[k] != BinKind::other)
                continue;
            sum += power[k];
            moment += power[k] * static_cast<double>(k);
        }
        figures.largestOther.amplitude = amplitudeOf(sum);
        figures.largestOther.frequency =
            (sum > 0.0 ? moment / sum : static_cast<double>(loudestOther)) * spectrum.binWidth;
        figures.largestOther.relativeDb = decibels(figures.largestOther.amplitude / reference);
        figures.largestOther.aboveFloor = figures.largestOther.relativeDb > figures.floorDb;
    }
    for (Harmonic& harmonic : figures.harmonics)
        harmonic.aboveFloor = harmonic.relativeDb > figures.floorDb;
    const double audibleTop = std::min(kAudibleHighest, sampleRate / 2.0);
    figures.strongestAlias.relativeDb = -std::numeric_limits<double>::infinity();
    figures.strongestAliasAnywhere.relativeDb = -std::numeric_limits<double>::infinity();
    for (Alias& alias : figures.aliases) {
        alias.aboveFloor = alias.relativeDb > figures.floorDb;
        if (alias.amplitude > figures.strongestAliasAnywhere.amplitude)
            figures.strongestAliasAnywhere = alias;
        if (alias.frequency >= kAudibleLowest && alias.frequency <= audibleTop &&
            alias.amplitude > figures.strongestAlias.amplitude)
            figures.strongestAlias = alias;
    }
    return spectrum;
}

} // namespace plughost
