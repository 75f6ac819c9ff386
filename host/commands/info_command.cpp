#include "commands.h"
#ifndef PLUGHOST_INFO_AND_VALIDATE_ONLY
#include "audio_plugin.h"
#include "lv2_info.h"
#endif
#include "module.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>
#include <optional>
#include <utility>

namespace plughost {

namespace {

struct ParameterInfo {
    int index;
    std::string name, label, display;
    float value;
};

// What the module says about itself when a host scans it.
struct Identity {
    std::string name, vendor, product;
    std::int32_t vendorVersion;
    std::int32_t category;
};

Identity readIdentity(const Effect& effect)
{
    return {effect.effectName(), effect.vendorString(), effect.productString(), effect.vendorVersion(),
            effect.category()};
}

// The editor's size from its rectangle, for a module whose flags announce one; none otherwise,
// or when the module gives no rectangle.
std::optional<std::pair<int, int>> editorSize(const Effect& effect)
{
    ERect* rect = nullptr;
    if ((effect.record().flags & effFlagsHasEditor) == 0 || effect.dispatch(effEditGetRect, 0, 0, &rect) == 0 ||
        rect == nullptr) {
        return std::nullopt;
    }
    return std::pair<int, int>(rect->right - rect->left, rect->bottom - rect->top);
}

std::string givenOrNot(const std::string& text)
{
    return text.empty() ? "(not given)" : text;
}

std::vector<ParameterInfo> readParameters(const Effect& effect)
{
    std::vector<ParameterInfo> parameters;
    for (int i = 0; i < effect.numParams(); ++i)
        parameters.push_back(
            {i, effect.parameterName(i), effect.parameterLabel(i), effect.parameterDisplay(i), effect.parameter(i)});
    return parameters;
}

void printJson(const std::string& path, const Identity& identity, const AEffect& record, const std::string& program,
               const std::vector<ParameterInfo>& parameters, const std::optional<std::pair<int, int>>& editor)
{
    nlohmann::ordered_json document;
    document["module"] = path;
    document["name"] = identity.name;
    document["vendor"] = identity.vendor;
    document["product"] = identity.product;
    document["vendorVersion"] = identity.vendorVersion;
    document["category"] = identity.category;
    document["uniqueID"] = fourCharText(record.uniqueID);
    document["uniqueIDHex"] = hexText(record.uniqueID);
    document["version"] = record.version;
    document["inputs"] = record.numInputs;
    document["outputs"] = record.numOutputs;
    document["flags"] = flagNames(record.flags);
    document["initialDelay"] = record.initialDelay;
    document["programs"] = record.numPrograms;
    document["programName"] = program;
    document["parameters"] = nlohmann::ordered_json::array();
    for (const ParameterInfo& p : parameters)
        document["parameters"].push_back(
            {{"index", p.index}, {"name", p.name}, {"label", p.label}, {"display", p.display}, {"value", p.value}});
    if (editor)
        document["editor"] = {{"width", editor->first}, {"height", editor->second}};
    // Texts from a module are not guaranteed to be UTF-8; replace what is not.
    std::cout << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

void printText(const std::string& path, const Identity& identity, const AEffect& record, const std::string& program,
               const std::vector<ParameterInfo>& parameters, const std::optional<std::pair<int, int>>& editor)
{
    std::string flags;
    for (const std::string& name : flagNames(record.flags))
        flags += (flags.empty() ? "" : ", ") + name;
    const std::string word = categoryName(identity.category);
    const std::string category = std::to_string(identity.category) + (word.empty() ? "" : " (" + word + ")");
    std::printf("module:        %s\n", path.c_str());
    std::printf("name:          %s\n", givenOrNot(identity.name).c_str());
    std::printf("vendor:        %s, version %d\n", givenOrNot(identity.vendor).c_str(), identity.vendorVersion);
    std::printf("product:       %s\n", givenOrNot(identity.product).c_str());
    std::printf("category:      %s\n", category.c_str());
    std::printf("unique ID:     '%s' (%s)\n", fourCharText(record.uniqueID).c_str(), hexText(record.uniqueID).c_str());
    std::printf("version:       %d\n", record.version);
    std::printf("channels:      %d in, %d out\n", record.numInputs, record.numOutputs);
    std::printf("flags:         %s\n", flags.empty() ? "none" : flags.c_str());
    std::printf("initial delay: %d samples\n", record.initialDelay);
    std::printf("programs:      %d, current \"%s\"\n", record.numPrograms, program.c_str());
    if (editor)
        std::printf("editor:        %d x %d pixels\n", editor->first, editor->second);
    std::printf("parameters:    %d\n", record.numParams);
    for (const ParameterInfo& p : parameters)
        std::printf("  %3d  %-16s %-10s %-12s %.6f\n", p.index, p.name.c_str(), p.label.c_str(), p.display.c_str(),
                    static_cast<double>(p.value));
}

} // namespace

int runInfo(const std::string& modulePath, bool json)
{
#ifndef PLUGHOST_INFO_AND_VALIDATE_ONLY
    if (namesLv2Plugin(modulePath))
        return runLv2Info(modulePath, json);
#endif
    const Module module(modulePath);
    Effect effect = module.makeEffect();
    const Identity identity = readIdentity(effect);
    const std::vector<ParameterInfo> parameters = readParameters(effect);
    const std::string program = effect.programName();
    const auto editor = editorSize(effect);
    if (json)
        printJson(modulePath, identity, effect.record(), program, parameters, editor);
    else
        printText(modulePath, identity, effect.record(), program, parameters, editor);
    effect.close();
    return 0;
}

} // namespace plughost
