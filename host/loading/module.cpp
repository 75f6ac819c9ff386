#include "module.h"

#include "host_callback.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace plughost {

namespace {

enum class Format { elf, windows, other };

struct BinaryKind {
    Format format = Format::other;
    int bits = 0;
};

#ifdef _WIN32
constexpr Format kHostFormat = Format::windows;
#else
constexpr Format kHostFormat = Format::elf;
#endif
constexpr int kHostBits = sizeof(void*) * 8;

std::uint32_t littleEndian(const unsigned char* bytes, int count)
{
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

// Reads just enough of the file's header to say what it is, so a module for
// another platform or bitness is named as such instead of failing inside the loader.
BinaryKind classify(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::array<unsigned char, 64> head{};
    file.read(reinterpret_cast<char*>(head.data()), head.size());
    const auto got = file.gcount();
    if (got >= 20 && std::memcmp(head.data(),
                                 "\x7f"
                                 "ELF",
                                 4) == 0)
        return {Format::elf, head[4] == 1 ? 32 : head[4] == 2 ? 64 : 0};
    if (got < 64 || head[0] != 'M' || head[1] != 'Z')
        return {};
    const std::uint32_t peOffset = littleEndian(&head[0x3c], 4);
    std::array<unsigned char, 6> pe{};
    file.clear();
    file.seekg(peOffset);
    file.read(reinterpret_cast<char*>(pe.data()), pe.size());
    if (file.gcount() != static_cast<std::streamsize>(pe.size()) || std::memcmp(pe.data(), "PE\0\0", 4) != 0)
        return {};
    switch (littleEndian(&pe[4], 2)) {
    case 0x014c:
        return {Format::windows, 32}; // i386
    case 0x8664:
        return {Format::windows, 64}; // x86-64
    case 0xaa64:
        return {Format::windows, 64}; // arm64
    default:
        return {Format::windows, 0};
    }
}

const char* formatName(Format format)
{
    return format == Format::windows ? "Windows" : "Linux";
}

void checkLoadable(const std::string& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status))
        throw UserError(path + ": no such file");
    if (std::filesystem::is_directory(status))
        throw UserError(path + ": is a directory, not a module");
    if (!std::ifstream(path, std::ios::binary))
        throw UserError(path + ": cannot be read");
    const BinaryKind kind = classify(path);
    if (kind.format == Format::other)
        throw UserError(path + ": not a module (neither an ELF shared object nor a Windows DLL)");
    // The platform first: a Windows DLL in the Linux host is a Windows module, whatever its bitness.
    const std::string bits = kind.bits != 0 ? std::to_string(kind.bits) + "-bit " : "";
    const std::string host = std::to_string(kHostBits) + "-bit " + formatName(kHostFormat);
    if (kind.format != kHostFormat)
        throw UserError(path + ": this is a " + bits + formatName(kind.format) + " module; this host loads " + host +
                        " modules");
    if (kind.bits != 0 && kind.bits != kHostBits)
        throw UserError(path + ": this is a " + bits + "module; this host is " + std::to_string(kHostBits) + "-bit");
}

// A bare file name would make the loader search its library path instead of opening this file.
std::string loadPath(const std::string& path)
{
    return path.find_first_of("/\\") == std::string::npos ? "./" + path : path;
}

// The path to load, once the file has been found to be a module this host can load.
std::string checkedLoadPath(const std::string& path)
{
    checkLoadable(path);
    return loadPath(path);
}

} // namespace

Module::Module(std::string path) : filePath(std::move(path)), library(checkedLoadPath(filePath))
{
    if (!library.loaded()) {
        // The loader's message usually repeats the path; it is said once already.
        std::string reason = LoadedModule::lastError();
        if (const auto colon = reason.find(": ");
            colon != std::string::npos && reason.compare(0, colon, loadPath(filePath)) == 0)
            reason.erase(0, colon + 2);
        throw UserError(filePath + ": cannot be loaded: " + reason);
    }
    // `main` is the interface's entry point; later modules may export it only as VSTPluginMain.
    for (const char* name : {"main", "VSTPluginMain"}) {
        entry = library.find<EntryFunction>(name);
        if (entry)
            break;
    }
    if (!entry)
        throw UserError(filePath + ": no entry point (the module exports neither main nor VSTPluginMain)");
}

Effect Module::makeEffect() const
{
    AEffect* record = entry(hostCallback);
    if (!record)
        throw UserError(filePath + ": the entry point answered null (no effect was made)");
    if (record->magic != kEffectMagic)
        throw UserError(filePath + ": the entry point's record has the wrong magic " + hexText(record->magic) +
                        " (expected " + hexText(kEffectMagic) + ")");
    // A broken record is refused before its first call, so it can neither crash plughost nor make it loop for ever.
    const auto refuse = [&](const std::string& fault) {
        throw UserError(filePath + ": " + fault + "; the module is not usable");
    };
    if (!record->dispatcher)
        refuse("the record's dispatcher is null");
    if (!record->getParameter || !record->setParameter)
        refuse(std::string("the record's ") + (record->getParameter ? "setParameter" : "getParameter") +
               " function is null");
    if (record->numParams < 0 || record->numParams > kMaxParameters)
        refuse("the record announces " + std::to_string(record->numParams) + " parameters (0 to " +
               std::to_string(kMaxParameters) + " are plausible)");
    for (const auto& [count, what] : {std::pair{record->numInputs, "inputs"}, std::pair{record->numOutputs, "outputs"}})
        if (count < 0 || count > kMaxChannels)
            refuse("the record announces " + std::to_string(count) + " " + what + " (0 to " +
                   std::to_string(kMaxChannels) + " are plausible)");
    Effect effect(record);
    effect.dispatch(effOpen);
    return effect;
}

void Module::requireProcessing(const Effect& effect, bool accumulate) const
{
    const AEffect& record = effect.record();
    if (accumulate && !record.process)
        throw UserError(filePath + ": the record's process function is null; leave out --accumulate");
    if (!record.process && !effect.canReplace())
        throw UserError(filePath +
                        ": the record has neither processReplacing nor process; the module cannot process audio");
}

void Effect::close() noexcept
{
    if (effect)
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    effect = nullptr;
}

std::intptr_t Effect::dispatch(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr, float opt) const
{
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

std::string Effect::readText(std::int32_t opcode, int index) const
{
    std::array<char, 512> text{};
    dispatch(opcode, index, 0, text.data());
    text.back() = '\0';
    return text.data();
}

std::string Effect::parameterName(int index) const
{
    return readText(effGetParamName, index);
}
std::string Effect::parameterLabel(int index) const
{
    return readText(effGetParamLabel, index);
}
std::string Effect::parameterDisplay(int index) const
{
    return readText(effGetParamDisplay, index);
}
std::string Effect::programName() const
{
    return readText(effGetProgramName, 0);
}

std::string Effect::programNameAt(int index) const
{
    std::array<char, 512> text{};
    if (dispatch(effGetProgramNameIndexed, index, 0, text.data()) == 0)
        return {};
    text.back() = '\0';
    return text.data();
}

void Effect::setProgram(int index) const
{
    dispatch(effSetProgram, 0, index);
}

std::string Effect::effectName() const
{
    return readText(effGetEffectName, 0);
}
std::string Effect::vendorString() const
{
    return readText(effGetVendorString, 0);
}
std::string Effect::productString() const
{
    return readText(effGetProductString, 0);
}
// The interface answers in 32 bits; a 64-bit module's high half carries nothing.
std::int32_t Effect::category() const
{
    return static_cast<std::int32_t>(dispatch(effGetPlugCategory));
}
std::int32_t Effect::vendorVersion() const
{
    return static_cast<std::int32_t>(dispatch(effGetVendorVersion));
}

int Effect::findParameter(const std::string& name) const
{
    const auto folded = [](std::string text) {
        const auto first = text.find_first_not_of(" \t");
        const auto last = text.find_last_not_of(" \t");
        text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    const std::string wanted = folded(name);
    for (int i = 0; i < numParams(); ++i)
        if (folded(parameterName(i)) == wanted)
            return i;
    return -1;
}

void Effect::setSampleRate(double rate) const
{
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
}
void Effect::setBlockSize(int frames) const
{
    dispatch(effSetBlockSize, 0, frames);
}
void Effect::switchOn() const
{
    dispatch(effMainsChanged, 0, 1);
}
void Effect::switchOff() const
{
    dispatch(effMainsChanged, 0, 0);
}

std::string fourCharText(std::int32_t code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<unsigned char>((static_cast<std::uint32_t>(code) >> shift) & 0xff);
        text += std::isprint(c) ? static_cast<char>(c) : '?';
    }
    return text;
}

std::string hexText(std::int32_t code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

std::vector<std::string> flagNames(std::int32_t flags)
{
    static const std::array<std::pair<std::int32_t, const char*>, 5> known{{
        {effFlagsHasEditor, "effFlagsHasEditor"},
        {effFlagsHasClip, "effFlagsHasClip"},
        {effFlagsHasVu, "effFlagsHasVu"},
        {effFlagsCanMono, "effFlagsCanMono"},
        {effFlagsCanReplacing, "effFlagsCanReplacing"},
    }};
    std::vector<std::string> names;
    for (int bit = 0; bit < 32; ++bit) {
        const auto mask = static_cast<std::int32_t>(1u << bit);
        if (!(flags & mask))
            continue;
        const auto match = std::find_if(known.begin(), known.end(), [&](const auto& k) { return k.first == mask; });
        names.push_back(match != known.end() ? match->second
                                             : "bit " + std::to_string(bit) + " (" + std::to_string(mask) + ")");
    }
    return names;
}

std::string categoryName(std::int32_t category)
{
    switch (category) {
    case kCategoryUnknown:
        return "not given";
    case kCategoryEffect:
        return "effect";
    default:
        return {};
    }
}

} // namespace plughost
