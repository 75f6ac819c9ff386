#include "commands.h"
#ifndef PLUGHOST_INFO_AND_VALIDATE_ONLY
#include "audio_plugin.h"
#endif
#include "validate_checks.h"

#include <chrono>
#include <cstdio>
#include <random>

namespace plughost {

namespace {

constexpr const char* kAudioPathCheck = "no allocation, lock, output or sleep on the audio path";

struct Tally {
    int passed = 0;
    int failed = 0;
};

void report(Tally& tally, const std::string& name, const std::string& failure)
{
    if (failure.empty()) {
        ++tally.passed;
        std::printf("  passed  %s\n", name.c_str());
    } else {
        ++tally.failed;
        std::printf("  FAILED  %s: %s\n", name.c_str(), failure.c_str());
    }
    std::fflush(stdout);
}

// Each check draws from its own stream, so one seed replays any single check
// exactly, whatever the checks before it consumed.
std::uint64_t checkSeed(std::uint64_t seed, int round, int check)
{
    std::seed_seq sequence{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                           static_cast<std::uint32_t>(round), static_cast<std::uint32_t>(check)};
    std::uint32_t halves[2];
    sequence.generate(halves, halves + 2);
    return (static_cast<std::uint64_t>(halves[0]) << 32) | halves[1];
}

AudioPathCounts difference(const AudioPathCounts& after, const AudioPathCounts& before)
{
    return {after.allocations - before.allocations,
            after.locks - before.locks,
            after.stdioWrites - before.stdioWrites,
            after.writes - before.writes,
            after.sleeps - before.sleeps,
            after.yields - before.yields,
            after.firstBlockingCall};
}

bool anyCall(const AudioPathCounts& counts)
{
    return counts.allocations || counts.locks || counts.stdioWrites || counts.writes || counts.sleeps || counts.yields;
}

// Allocations and locks are always named; the other kinds when they were seen, with the first such function.
std::string audioPathFailure(const AudioPathCounts& counts, const std::string& firstCheck)
{
    if (!anyCall(counts))
        return {};
    std::string seen =
        std::to_string(counts.allocations) + " allocator call(s) and " + std::to_string(counts.locks) + " lock call(s)";
    for (const auto& [count, what] :
         {std::pair{counts.stdioWrites, " stdio output call(s)"}, std::pair{counts.writes, " write call(s)"},
          std::pair{counts.sleeps, " sleep call(s)"}, std::pair{counts.yields, " sched_yield call(s)"}})
        if (count)
            seen += ", " + std::to_string(count) + what;
    if (counts.stdioWrites || counts.writes || counts.sleeps || counts.yields)
        seen += std::string(" (first ") + (counts.firstBlockingCall ? counts.firstBlockingCall : "unknown") + ")";
    return seen + " inside process calls, first in '" + firstCheck + "'";
}

} // namespace

int runValidate(const ValidateOptions& options)
{
    if (options.repeat < 1)
        throw UserError("--repeat must be 1 or more, not " + std::to_string(options.repeat));
#ifndef PLUGHOST_INFO_AND_VALIDATE_ONLY
    if (namesLv2Plugin(options.modulePath))
        throw UserError(options.modulePath +
                        ": validate checks VST 2 modules only; an LV2 plug-in runs in info, render, curve, spectrum, "
                        "sweep, aliasing and spectrogram");
#endif
    const std::uint64_t seed =
        options.seed ? *options.seed
                     : static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                           std::random_device{}();
    // A module that cannot even make an effect is the user's fault to fix, not
    // a failed check; it is unloaded again so the first check still opens it cold.
    {
        const Module probe(options.modulePath);
        Effect effect = probe.makeEffect();
        probe.requireProcessing(effect, false);
    }
    std::printf("plughost validate %s\nseed %llu (replay with --seed %llu)\n", options.modulePath.c_str(),
                static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed));

    std::vector<Check> checks = lifecycleChecks();
    for (const Check& check : scanChecks())
        checks.push_back(check);
    for (const Check& check : processingChecks())
        checks.push_back(check);

    Tally tally;
    for (int round = 0; round < options.repeat; ++round) {
        if (options.repeat > 1)
            std::printf("round %d of %d\n", round + 1, options.repeat);
        // A fresh load each round, so the first check opens a cold module.
        const Module module(options.modulePath);
        const AudioPathCounts before = audioPathCounts();
        std::string firstOffender;
        for (std::size_t i = 0; i < checks.size(); ++i) {
            CheckContext context{module, std::mt19937_64(checkSeed(seed, round, static_cast<int>(i)))};
            const AudioPathCounts countsBefore = audioPathCounts();
            std::string failure;
            try {
                checks[i].run(context);
            } catch (const std::exception& error) {
                // CheckFailure, or a UserError when a later effect could not be made.
                failure = error.what();
            }
            const AudioPathCounts countsAfter = audioPathCounts();
            if (firstOffender.empty() && anyCall(difference(countsAfter, countsBefore)))
                firstOffender = checks[i].name;
            report(tally, checks[i].name, failure);
        }
        if (audioPathCountingAvailable()) {
            const AudioPathCounts after = audioPathCounts();
            report(tally, kAudioPathCheck, audioPathFailure(difference(after, before), firstOffender));
        }
    }
    if (tally.failed > 0)
        std::printf("replay with: plughost validate %s --seed %llu\n", options.modulePath.c_str(),
                    static_cast<unsigned long long>(seed));
    std::printf("%d passed, %d failed\n", tally.passed, tally.failed);
    return tally.failed == 0 ? 0 : 1;
}

} // namespace plughost
