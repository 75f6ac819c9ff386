// Checks of what a module answers when a host scans it: its name, vendor, product,
// vendor version and category. A module may leave any of them unanswered.
#include "validate_checks.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace plughost {

namespace {

struct TextRequest {
    std::int32_t opcode;
    std::size_t limit; // the host's buffer, terminating zero included
    const char* what;
};

constexpr TextRequest kTextRequests[] = {
    {effGetEffectName, kEffectNameBytes, "effect name"},
    {effGetVendorString, kVendorStringBytes, "vendor text"},
    {effGetProductString, kProductStringBytes, "product text"},
};

// Asks for one text into a canary-filled buffer much larger than the host's. Writing
// nothing is no answer, which is allowed, unless the module claims to have written.
void checkTextFits(const Effect& effect, const TextRequest& request)
{
    constexpr unsigned char kCanary = 0xA5;
    std::array<unsigned char, 1024> buffer;
    buffer.fill(kCanary);
    const std::intptr_t answer = effect.dispatch(request.opcode, 0, 0, buffer.data());
    const auto limit = buffer.begin() + static_cast<std::ptrdiff_t>(request.limit);
    const auto written = std::find_if(buffer.begin(), buffer.end(), [](unsigned char b) { return b != kCanary; });
    if (written == buffer.end()) {
        if (answer != 0)
            throw CheckFailure(std::string(request.what) + ": answered " + std::to_string(answer) +
                               " but wrote nothing");
        return;
    }
    const auto end = std::find(buffer.begin(), limit, '\0');
    if (end == limit) {
        const auto zero = std::find(buffer.begin(), buffer.end(), '\0');
        throw CheckFailure(
            std::string(request.what) + " is not terminated within " + std::to_string(request.limit) + " bytes" +
            (zero == buffer.end() ? "" : " (it takes " + std::to_string(zero - buffer.begin() + 1) + ")"));
    }
    const auto past = std::find_if(limit, buffer.end(), [](unsigned char b) { return b != kCanary; });
    if (past != buffer.end())
        throw CheckFailure(std::string(request.what) + " wrote byte " + std::to_string(past - buffer.begin()) +
                           ", past the " + std::to_string(request.limit) + " bytes hosts allow");
}

void scanTextsFit(CheckContext& context)
{
    const Effect effect = context.module.makeEffect();
    for (const TextRequest& request : kTextRequests)
        checkTextFits(effect, request);
}

// Every answer to the scan, texts with the number each request answered.
struct ScanAnswers {
    std::array<std::string, std::size(kTextRequests)> texts;
    std::array<std::intptr_t, std::size(kTextRequests)> textAnswers{};
    std::intptr_t category = 0;
    std::intptr_t vendorVersion = 0;
};

ScanAnswers readScanAnswers(const Effect& effect)
{
    ScanAnswers answers;
    for (std::size_t i = 0; i < std::size(kTextRequests); ++i) {
        // Zeroed and roomy, so even an overlong text ends inside; its length is the other check's concern.
        std::array<char, 1024> buffer{};
        answers.textAnswers[i] = effect.dispatch(kTextRequests[i].opcode, 0, 0, buffer.data());
        buffer.back() = '\0';
        answers.texts[i] = buffer.data();
    }
    answers.category = effect.dispatch(effGetPlugCategory);
    answers.vendorVersion = effect.dispatch(effGetVendorVersion);
    return answers;
}

void requireSame(const ScanAnswers& first, const ScanAnswers& later, const std::string& when)
{
    const auto differs = [&](const std::string& what, const std::string& was, const std::string& now) {
        throw CheckFailure(what + " was " + was + " at first, " + now + " " + when);
    };
    for (std::size_t i = 0; i < std::size(kTextRequests); ++i) {
        if (later.texts[i] != first.texts[i])
            differs(kTextRequests[i].what, "'" + first.texts[i] + "'", "'" + later.texts[i] + "'");
        if (later.textAnswers[i] != first.textAnswers[i])
            differs(std::string("the answer to the ") + kTextRequests[i].what + " request",
                    std::to_string(first.textAnswers[i]), std::to_string(later.textAnswers[i]));
    }
    if (later.category != first.category)
        differs("category", std::to_string(first.category), std::to_string(later.category));
    if (later.vendorVersion != first.vendorVersion)
        differs("vendor version", std::to_string(first.vendorVersion), std::to_string(later.vendorVersion));
}

// A host may ask while scanning, again when it loads the effect, and at any time after.
void scanAnswersStable(CheckContext& context)
{
    const Effect effect = context.module.makeEffect();
    const ScanAnswers first = readScanAnswers(effect);
    requireSame(first, readScanAnswers(effect), "when asked again");

    effect.setSampleRate(48000.0);
    effect.setBlockSize(256);
    effect.switchOn();
    BlockRunner runner(effect, 256);
    runner.fillNoise(context, 256, 0.5f);
    runner.run(256);
    for (int p = 0; p < effect.numParams(); ++p)
        effect.setParameter(p, context.uniform(0.0f, 1.0f));
    requireSame(first, readScanAnswers(effect), "after processing and parameter changes");
    effect.switchOff();

    const Effect second = context.module.makeEffect();
    requireSame(first, readScanAnswers(second), "from a second instance");
}

} // namespace

std::vector<Check> scanChecks()
{
    return {
        {"scan texts within their buffers", scanTextsFit},
        {"scan answers stable", scanAnswersStable},
    };
}

} // namespace plughost
