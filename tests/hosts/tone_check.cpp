// Writes a stereo test tone, and checks a host's rendering of it against the curve.
//
//   tone_check write FILE RATE SECONDS AMPLITUDE FREQUENCY
//   tone_check check FILE AMPLITUDE FREQUENCY BOOST KNEE HARDNESS
//   tone_check aligned FILE AMPLITUDE FRAME
//   tone_check like FILE REFERENCE
//
// aligned: the rendering is the sum of two impulses of AMPLITUDE set at session frame FRAME,
// one dry and one through a latent plug-in at a linear setting; it matches when each channel
// holds one impulse of twice the amplitude (within 2 %, the filters' ripple) and nothing else
// above half the amplitude, so the host compensated the plug-in's latency exactly.
// BOOST is the gain factor (1 to 11), KNEE and HARDNESS as the effect holds them. The
// check takes one second of each channel, starting a tenth of a second after the sound
// sets in, and compares its sorted samples with the sorted samples the curve makes of
// the tone. With an integer frequency prime to the rate, one second of the tone visits
// the phases k/rate, k = 0..rate-1, each once, whatever the phase it starts at, so the
// comparison needs neither the host's latency nor its start phase. A memoryless curve
// keeps the order of its inputs, so the sorted output is the curve of the sorted input:
// dry audio, a linear gain or other settings all miss it. Exit code 0: the rendering
// matches; 1: it does not; 2: usage or file error.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <numeric>
#include <string>
#include <vector>

namespace {

struct Settings {
    double boost;
    double knee;
    double hardness;
};

// The effect's curve for a boosted sample v: y = s * (1 - w^2 / (w + a*d)) above the knee.
double shaped(double v, const Settings& s)
{
    const double m = std::fabs(v);
    if (!(m > s.knee))
        return v;
    const double w = 1.0 - s.knee;
    const double a = 1.0 - s.hardness;
    const double d = m - s.knee;
    return std::copysign(1.0 - (w * w) / (w + a * d), v);
}

bool parse_number(const char* text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value);
}

int usage()
{
    std::fputs("usage: tone_check write FILE RATE SECONDS AMPLITUDE FREQUENCY\n"
               "       tone_check check FILE AMPLITUDE FREQUENCY BOOST KNEE HARDNESS\n"
               "       tone_check aligned FILE AMPLITUDE FRAME\n"
               "       tone_check like FILE REFERENCE\n",
               stderr);
    return 2;
}

int write_tone(const std::string& path, double rate, double seconds, double amplitude, double frequency)
{
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    const std::string partial = path + ".partial";
    SNDFILE* file = sf_open(partial.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "tone_check: cannot write %s: %s\n", partial.c_str(), sf_strerror(nullptr));
        return 2;
    }
    const auto frames = static_cast<std::size_t>(rate * seconds);
    std::vector<float> samples(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        const double phase = std::fmod(frequency * static_cast<double>(i), rate) / rate;
        const auto x = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * phase));
        samples[2 * i] = x;
        samples[2 * i + 1] = x;
    }
    const bool written =
        sf_writef_float(file, samples.data(), static_cast<sf_count_t>(frames)) == static_cast<sf_count_t>(frames);
    if (sf_close(file) != 0 || !written) {
        std::fprintf(stderr, "tone_check: writing %s failed\n", partial.c_str());
        std::filesystem::remove(partial);
        return 2;
    }
    std::filesystem::rename(partial, path);
    return 0;
}

// Checks one channel; prints what it found and answers whether it matches the curve.
bool check_channel(const char* name, const std::vector<float>& channel, long rate, double amplitude,
                   const Settings& settings)
{
    constexpr double kSilence = 1e-4;
    const auto onset = std::find_if(channel.begin(), channel.end(), [](float y) { return std::fabs(y) > kSilence; });
    if (onset == channel.end()) {
        std::printf("%s: silent\n", name);
        return false;
    }
    const auto start = static_cast<std::size_t>(onset - channel.begin()) + static_cast<std::size_t>(rate / 10);
    const auto count = static_cast<std::size_t>(rate);
    if (start + count > channel.size()) {
        std::printf("%s: too short: %zu frames after the sound sets in, %zu needed\n", name,
                    channel.size() - static_cast<std::size_t>(onset - channel.begin()), count + rate / 10);
        return false;
    }
    std::vector<double> got(channel.begin() + static_cast<std::ptrdiff_t>(start),
                            channel.begin() + static_cast<std::ptrdiff_t>(start + count));
    // NaN has no place in a sorted order; a host that renders one fails here.
    const auto not_finite = std::find_if(got.begin(), got.end(), [](double y) { return !std::isfinite(y); });
    if (not_finite != got.end()) {
        std::printf("%s: sample %zu is not a finite number\n", name,
                    start + static_cast<std::size_t>(not_finite - got.begin()));
        return false;
    }
    std::vector<double> want(count);
    std::vector<double> dry(count);
    for (std::size_t k = 0; k < count; ++k) {
        const double x = amplitude * std::sin(2.0 * std::numbers::pi * (static_cast<double>(k) + 0.5) / rate);
        dry[k] = x;
        want[k] = shaped(x * settings.boost, settings);
    }
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    std::sort(dry.begin(), dry.end());

    // The window's phases lie within pi/rate of the ones above, and the curve's slope
    // against the tone's phase is at most amplitude * boost; the rest is float rounding.
    const double allowed = 2.0 * std::numbers::pi * amplitude * settings.boost / rate + 1e-5;
    double deviation = 0.0;
    double dry_deviation = 0.0;
    for (std::size_t k = 0; k < count; ++k) {
        deviation = std::max(deviation, std::fabs(got[k] - want[k]));
        dry_deviation = std::max(dry_deviation, std::fabs(got[k] - dry[k]));
    }
    const double peak = std::max(std::fabs(got.front()), std::fabs(got.back()));
    const double predicted_peak = std::fabs(shaped(amplitude * settings.boost, settings));
    const bool matches = deviation <= allowed && std::fabs(peak - predicted_peak) <= allowed;
    std::printf("%s: peak %.6f (curve: %.6f), largest deviation from the curve %.2e (allowed %.2e)%s\n", name, peak,
                predicted_peak, deviation, allowed, matches ? "" : ": MISMATCH");
    if (!matches && dry_deviation <= 2.0 * std::numbers::pi * amplitude / rate + 1e-5)
        std::printf("%s: this is the dry tone: the effect was not in the signal path\n", name);
    return matches;
}

// Prints the frames of each channel above half the amplitude, and how far apart they lie.
bool check_aligned(const std::vector<float>& frames, int channels, double amplitude, double frame)
{
    bool matches = channels == 2;
    for (int c = 0; c < channels; ++c) {
        std::vector<std::size_t> found;
        for (std::size_t i = static_cast<std::size_t>(c); i < frames.size(); i += static_cast<std::size_t>(channels)) {
            if (!(std::fabs(frames[i]) <= amplitude / 2))
                found.push_back(i / static_cast<std::size_t>(channels));
        }
        std::printf("channel %d: %zu frame(s) above %g:", c, found.size(), amplitude / 2);
        for (const std::size_t at : found)
            std::printf(" %zu (%+ld from frame %g) = %.6f", at, static_cast<long>(at) - static_cast<long>(frame), frame,
                        frames[at * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)]);
        if (found.size() == 2)
            std::printf("; the second lags the first by %zu frames", found[1] - found[0]);
        const bool one = found.size() == 1 &&
                         std::fabs(frames[found[0] * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] -
                                   2 * amplitude) <= 0.04 * amplitude;
        std::printf("%s\n", one ? "" : ": MISALIGNED");
        matches = matches && one;
    }
    return matches;
}

// Reads a whole file's interleaved frames; false, with a message, when it cannot.
bool read_frames(const std::string& path, SF_INFO& info, std::vector<float>& frames)
{
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "tone_check: cannot read %s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    frames.resize(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    const sf_count_t read = sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    if (read != info.frames) {
        std::fprintf(stderr, "tone_check: %s: read %lld of %lld frames\n", path.c_str(), static_cast<long long>(read),
                     static_cast<long long>(info.frames));
        return false;
    }
    return true;
}

// One second of a channel from a tenth of a second after its sound sets in, sorted; empty
// when the channel is silent or too short.
std::vector<float> sorted_second(const std::vector<float>& frames, int channels, int c, long rate)
{
    std::vector<float> channel;
    for (std::size_t i = static_cast<std::size_t>(c); i < frames.size(); i += static_cast<std::size_t>(channels))
        channel.push_back(frames[i]);
    const auto onset = std::find_if(channel.begin(), channel.end(), [](float y) { return std::fabs(y) > 1e-4f; });
    if (channel.end() - onset < rate + rate / 10)
        return {};
    std::vector<float> second(onset + rate / 10, onset + rate / 10 + rate);
    std::sort(second.begin(), second.end());
    return second;
}

// like: each channel's sorted second equals the reference's within 1e-6. The tone repeats
// every second, so a settled effect's output takes the same values in any second, whatever
// the delay before it: a latent, oversampled effect is checked against its own rendering by
// another host (plughost) at the same settings.
int check_like(const std::string& path, const std::string& reference)
{
    SF_INFO info{}, referenceInfo{};
    std::vector<float> frames, referenceFrames;
    if (!read_frames(path, info, frames) || !read_frames(reference, referenceInfo, referenceFrames))
        return 2;
    bool matches = info.channels == 2 && referenceInfo.channels == 2 && info.samplerate == referenceInfo.samplerate;
    for (int c = 0; c < 2 && matches; ++c) {
        const std::vector<float> got = sorted_second(frames, 2, c, info.samplerate);
        const std::vector<float> want = sorted_second(referenceFrames, 2, c, info.samplerate);
        double deviation = got.empty() || want.empty() ? INFINITY : 0.0;
        for (std::size_t k = 0; k < got.size() && k < want.size(); ++k)
            deviation = std::max(deviation, std::fabs(static_cast<double>(got[k]) - want[k]));
        std::printf("channel %d: peak %.6f (reference %.6f), largest deviation %.2e (allowed 1e-6)%s\n", c,
                    got.empty() ? 0.0 : std::max(-got.front(), got.back()),
                    want.empty() ? 0.0 : std::max(-want.front(), want.back()), deviation,
                    deviation <= 1e-6 ? "" : ": MISMATCH");
        matches = deviation <= 1e-6;
    }
    return matches ? 0 : 1;
}

int check_rendering(const std::string& path, double amplitude, double frequency, const Settings& settings,
                    bool aligned = false)
{
    SF_INFO info{};
    std::vector<float> frames;
    if (!read_frames(path, info, frames))
        return 2;
    const long rate = info.samplerate;
    if (aligned)
        return check_aligned(frames, info.channels, amplitude, frequency) ? 0 : 1;
    if (frequency != std::floor(frequency) || std::gcd(static_cast<long>(frequency), rate) != 1) {
        std::fprintf(stderr, "tone_check: the frequency must be an integer prime to the file's rate %ld\n", rate);
        return 2;
    }
    std::printf("%s: %d channels, %ld Hz, %lld frames\n", path.c_str(), info.channels, rate,
                static_cast<long long>(info.frames));
    if (info.channels != 2) {
        std::printf("expected 2 channels\n");
        return 1;
    }
    bool matches = true;
    const char* names[] = {"left", "right"};
    for (int c = 0; c < 2; ++c) {
        std::vector<float> channel(static_cast<std::size_t>(info.frames));
        for (std::size_t i = 0; i < channel.size(); ++i)
            channel[i] = frames[2 * i + static_cast<std::size_t>(c)];
        matches = check_channel(names[c], channel, rate, amplitude, settings) && matches;
    }
    return matches ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const std::string command = argv[1];
    if (command == "like")
        return argc == 4 ? check_like(argv[2], argv[3]) : usage();
    std::vector<double> numbers;
    for (int i = 3; i < argc; ++i) {
        double value = 0.0;
        if (!parse_number(argv[i], value)) {
            std::fprintf(stderr, "tone_check: not a number: %s\n", argv[i]);
            return 2;
        }
        numbers.push_back(value);
    }
    if (command == "write" && argc == 7 && numbers[0] >= 1.0 && numbers[1] > 0.0)
        return write_tone(argv[2], numbers[0], numbers[1], numbers[2], numbers[3]);
    if (command == "check" && argc == 8)
        return check_rendering(argv[2], numbers[0], numbers[1], Settings{numbers[2], numbers[3], numbers[4]});
    if (command == "aligned" && argc == 5)
        return check_rendering(argv[2], numbers[0], numbers[1], Settings{}, true);
    return usage();
}
