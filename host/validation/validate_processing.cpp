// Checks of an effect's processing under the rates, sizes, orders, settings
// and signals that hosts produce.
#include "validate_checks.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>

#ifdef _WIN32
#include <windows.h>
#else
#include <thread>
#endif

namespace plughost {

namespace {

constexpr float kNoiseLevel = 0.5f; // -6 dBFS

void prepare(const Effect& effect, double sampleRate, int blockSize)
{
    effect.setSampleRate(sampleRate);
    effect.setBlockSize(blockSize);
    effect.switchOn();
}

void shuffledCallOrders(CheckContext& context)
{
    enum class Step { sampleRate, blockSize, parameter };
    for (int round = 0; round < 8; ++round) {
        const Effect effect = context.module.makeEffect();
        int announcedBlock = 512;
        for (int phase = 0; phase < 3; ++phase) {
            std::vector<Step> steps{Step::sampleRate, Step::blockSize, Step::parameter};
            for (int extra = context.uniformInt(0, 3); extra > 0; --extra)
                steps.push_back(static_cast<Step>(context.uniformInt(0, 2)));
            std::shuffle(steps.begin(), steps.end(), context.random);
            for (const Step step : steps) {
                if (step == Step::sampleRate)
                    effect.setSampleRate(std::array{22050.0, 44100.0, 48000.0,
                                                    96000.0}[static_cast<std::size_t>(context.uniformInt(0, 3))]);
                else if (step == Step::blockSize)
                    effect.setBlockSize(announcedBlock = context.uniformInt(32, 1024));
                else if (effect.numParams() > 0)
                    effect.setParameter(context.uniformInt(0, effect.numParams() - 1), context.uniform(0.0f, 1.0f));
            }
            effect.switchOn();
            BlockRunner runner(effect, announcedBlock);
            for (int block = 0; block < 3; ++block) {
                const int frames = context.uniformInt(1, announcedBlock);
                runner.fillNoise(context, frames, kNoiseLevel);
                runner.runChecked(frames, "order round " + std::to_string(round));
                runner.requireFiniteOutput(frames, "order round " + std::to_string(round));
            }
            effect.switchOff();
        }
    }
}

void sampleRates(CheckContext& context)
{
    const Effect effect = context.module.makeEffect();
    constexpr int kBlock = 512;
    BlockRunner runner(effect, kBlock);
    for (const double rate : {44100.0, 48000.0, 96000.0, 8000.0, 1234.5678, 384000.0, 192000.0, 22050.0}) {
        prepare(effect, rate, kBlock);
        const std::string where = "at " + describe(static_cast<float>(rate)) + " Hz";
        for (int block = 0; block < 8; ++block) {
            runner.fillNoise(context, kBlock, kNoiseLevel);
            runner.runChecked(kBlock, where);
            runner.requireFiniteOutput(kBlock, where);
        }
        effect.switchOff();
    }
}

void blockSizes(CheckContext& context)
{
    std::vector<int> sizes{1, 10, 17, 64, 128, 256, 512, 1024, 2027, 4096, 16384};
    for (int i = 0; i < 20; ++i)
        sizes.push_back(context.uniformInt(1, 8192));
    const Effect effect = context.module.makeEffect();
    BlockRunner runner(effect, *std::max_element(sizes.begin(), sizes.end()));
    effect.setSampleRate(44100.0);
    for (const int size : sizes) {
        effect.setBlockSize(size);
        effect.switchOn();
        const std::string where = "block size " + std::to_string(size);
        for (int block = 0; block < 3; ++block) {
            // Hosts may send fewer samples than announced, never more.
            const int frames = block == 2 ? context.uniformInt(1, size) : size;
            runner.fillNoise(context, frames, kNoiseLevel);
            runner.runChecked(frames, where);
            runner.requireFiniteOutput(frames, where);
        }
        effect.switchOff();
    }
}

void outputIntegrity(CheckContext& context)
{
    const Effect effect = context.module.makeEffect();
    constexpr int kBlock = 1024;
    prepare(effect, 44100.0, kBlock);
    BlockRunner runner(effect, kBlock);
    for (const int frames : {kBlock, 1, 333, 64}) {
        runner.fillNoise(context, frames, kNoiseLevel);
        runner.runChecked(frames, "out of place, " + std::to_string(frames) + " samples");
        runner.runInPlace(frames, std::to_string(frames) + " samples");
        if (effect.record().process) {
            runner.fillNoise(context, frames, kNoiseLevel);
            runner.runAccumulating(frames, std::to_string(frames) + " samples");
            runner.requireFiniteOutput(frames, "process (accumulating)");
        }
    }
    // An empty block must be harmless.
    runner.fillNoise(context, kBlock, kNoiseLevel);
    runner.runChecked(0, "empty block");
    effect.switchOff();
}

void automationEvery32Samples(CheckContext& context)
{
    const Effect effect = context.module.makeEffect();
    constexpr int kSlice = 32;
    prepare(effect, 44100.0, 512);
    BlockRunner runner(effect, kSlice);
    for (int slice = 0; slice < 44100 / kSlice; ++slice) {
        for (int p = 0; p < effect.numParams(); ++p)
            effect.setParameter(p, context.uniform(0.0f, 1.0f));
        runner.fillNoise(context, kSlice, kNoiseLevel);
        runner.runChecked(kSlice, "slice " + std::to_string(slice));
        runner.requireFiniteOutput(kSlice, "slice " + std::to_string(slice));
    }
    effect.switchOff();
}

std::string settingText(const std::vector<float>& values)
{
    std::string text;
    for (const float v : values)
        text += (text.empty() ? "" : ", ") + describe(v);
    return "parameters {" + text + "}";
}

void parameterFuzz(CheckContext& context)
{
    const Effect effect = context.module.makeEffect();
    constexpr int kBlock = 256;
    prepare(effect, 44100.0, kBlock);
    BlockRunner runner(effect, kBlock);
    std::vector<std::vector<float>> settings(50, std::vector<float>(static_cast<std::size_t>(effect.numParams())));
    for (auto& setting : settings)
        for (float& v : setting)
            v = context.uniform(0.0f, 1.0f);
    const auto snapped = [](std::vector<float> setting) {
        for (float& v : setting)
            v = v < 0.5f ? 0.0f : 1.0f;
        return setting;
    };
    for (int pass = 0; pass < 2; ++pass)
        for (const auto& drawn : settings) {
            const std::vector<float> setting = pass == 0 ? drawn : snapped(drawn);
            for (int p = 0; p < effect.numParams(); ++p)
                effect.setParameter(p, setting[static_cast<std::size_t>(p)]);
            for (int block = 0; block < 2; ++block) {
                runner.fillNoise(context, kBlock, kNoiseLevel);
                runner.runChecked(kBlock, settingText(setting));
                runner.requireFiniteOutput(kBlock, settingText(setting));
            }
        }
    effect.switchOff();
}

struct HostileSignal {
    const char* name;
    float (*sample)(int index, int channel);
};

void inputFuzz(CheckContext& context)
{
    constexpr int kBlock = 512;
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    static const HostileSignal signals[] = {
        {"+40 dB sine", [](int i, int) { return 100.0f * static_cast<float>(std::sin(0.0627 * i)); }},
        {"DC", [](int, int) { return 1.0f; }},
        {"negative DC", [](int, int) { return -1.0f; }},
        {"silence", [](int, int) { return 0.0f; }},
        {"subnormals",
         [](int i, int) {
             return (i % 2 ? -1.0f : 1.0f) * std::numeric_limits<float>::denorm_min() *
                    static_cast<float>(1 + i % 1000);
         }},
        {"NaN", [](int i, int) { return i % 3 ? 0.25f : std::numeric_limits<float>::quiet_NaN(); }},
        {"infinity", [](int i, int c) { return (i + c) % 2 ? kInfinity : -kInfinity; }},
        {"full-scale square", [](int i, int) { return (i / 50) % 2 ? 1.0f : -1.0f; }},
    };
    for (const HostileSignal& signal : signals) {
        const Effect effect = context.module.makeEffect();
        prepare(effect, 44100.0, kBlock);
        BlockRunner runner(effect, kBlock);
        runner.fillWith(kBlock, signal.sample);
        for (int block = 0; block < 4; ++block)
            runner.run(kBlock);
        runner.fillNoise(context, kBlock, kNoiseLevel);
        runner.runChecked(kBlock, "clean block after " + std::string(signal.name));
        runner.requireFiniteOutput(kBlock, "clean block after " + std::string(signal.name));
        effect.switchOff();
    }
}

void normalOutputFromNoise(CheckContext& context)
{
    const Effect effect = context.module.makeEffect();
    constexpr int kBlock = 512;
    prepare(effect, 44100.0, kBlock);
    BlockRunner runner(effect, kBlock);
    for (int block = 0; block < 200; ++block) {
        runner.fillNoise(context, kBlock, kNoiseLevel);
        runner.runChecked(kBlock, "noise block " + std::to_string(block));
        runner.requireFiniteOutput(kBlock, "noise block " + std::to_string(block), true);
    }
    effect.switchOff();
}

// Runs `body` on a second thread until stop() is called.
class BackgroundLoop {
public:
    template <typename Body> explicit BackgroundLoop(Body body) : work(std::move(body))
    {
#ifdef _WIN32
        thread = CreateThread(nullptr, 0, &BackgroundLoop::entry, this, 0, nullptr);
#else
        thread = std::thread([this] { loop(); });
#endif
    }
    ~BackgroundLoop()
    {
        stop();
    }
    BackgroundLoop(const BackgroundLoop&) = delete;
    BackgroundLoop& operator=(const BackgroundLoop&) = delete;

    void stop()
    {
        running.store(false);
#ifdef _WIN32
        if (thread) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
            thread = nullptr;
        }
#else
        if (thread.joinable())
            thread.join();
#endif
    }
    long long rounds() const
    {
        return count.load();
    }

    // Waits until the body has run once, so the work overlaps what follows.
    void awaitStart() const
    {
        while (count.load() == 0) {
#ifdef _WIN32
            SwitchToThread();
#else
            std::this_thread::yield();
#endif
        }
    }

private:
    void loop()
    {
        while (running.load()) {
            work();
            count.fetch_add(1);
        }
    }
#ifdef _WIN32
    static DWORD WINAPI entry(void* self)
    {
        static_cast<BackgroundLoop*>(self)->loop();
        return 0;
    }
    HANDLE thread = nullptr;
#else
    std::thread thread;
#endif
    std::function<void()> work;
    std::atomic<bool> running{true};
    std::atomic<long long> count{0};
};

void parameterWritesFromAnotherThread(CheckContext& context)
{
    const Effect effect = context.module.makeEffect();
    if (effect.numParams() == 0)
        return;
    constexpr int kBlock = 256;
    prepare(effect, 44100.0, kBlock);
    BlockRunner runner(effect, kBlock);
    std::mt19937 writerRandom(static_cast<std::uint32_t>(context.random()));
    BackgroundLoop writer([&] {
        const int p = std::uniform_int_distribution<int>(0, effect.numParams() - 1)(writerRandom);
        effect.setParameter(p, std::uniform_real_distribution<float>(0.0f, 1.0f)(writerRandom));
    });
    writer.awaitStart();
    for (int block = 0; block < 400; ++block) {
        runner.fillNoise(context, kBlock, kNoiseLevel);
        runner.runChecked(kBlock, "block " + std::to_string(block) + " during parameter writes");
        runner.requireFiniteOutput(kBlock, "block " + std::to_string(block) + " during parameter writes");
    }
    writer.stop();
    effect.switchOff();
}

} // namespace

std::vector<Check> processingChecks()
{
    return {
        {"shuffled call orders", shuffledCallOrders},
        {"sample rates", sampleRates},
        {"block sizes", blockSizes},
        {"output integrity", outputIntegrity},
        {"automation every 32 samples", automationEvery32Samples},
        {"parameter fuzz", parameterFuzz},
        {"input fuzz", inputFuzz},
        {"normal output from noise", normalOutputFromNoise},
        {"parameter writes from a second thread", parameterWritesFromAnotherThread},
    };
}

} // namespace plughost
