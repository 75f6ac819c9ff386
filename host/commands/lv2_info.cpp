#include "lv2_info.h"

#include "channel_buffers.h"
#include "lv2_plugin.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>

namespace plughost {

namespace {

constexpr double kProbeRate = 48000.0;
constexpr int kProbeBlock = 512;

const char* kindName(Lv2Port::Kind kind)
{
    switch (kind) {
    case Lv2Port::Kind::audio:
        return "audio";
    case Lv2Port::Kind::control:
        return "control";
    case Lv2Port::Kind::atom:
        return "atom";
    case Lv2Port::Kind::cv:
        return "CV";
    default:
        return "other";
    }
}

std::string joined(const std::vector<std::string>& items, const char* none)
{
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text.empty() ? none : text;
}

std::string valueText(const std::optional<float>& value)
{
    if (!value)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(*value));
    return text;
}

nlohmann::ordered_json valueJson(const std::optional<float>& value)
{
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

// The latency a plug-in reports after one block of silence at 48 kHz.
int probeLatency(Lv2Plugin& plugin)
{
    ChannelBuffers inputs(std::max(plugin.inputs(), 1), kProbeBlock);
    ChannelBuffers outputs(std::max(plugin.outputs(), 1), kProbeBlock);
    plugin.start(kProbeRate, kProbeBlock);
    plugin.process(inputs.pointers(), outputs.pointers(), kProbeBlock);
    const int latency = plugin.latency();
    plugin.stop();
    return latency;
}

} // namespace

int runLv2Info(const std::string& module, bool json)
{
    Lv2Plugin plugin(module, {});
    const Lv2Description& d = plugin.description();
    const int latency = probeLatency(plugin);
    const std::string latencyPort = d.latencyPort ? d.ports[*d.latencyPort].symbol : "";
    if (json) {
        nlohmann::ordered_json document;
        document["plugin"] = d.uri;
        document["format"] = "LV2";
        document["name"] = d.name;
        document["class"] = d.className;
        document["author"] = d.author;
        document["bundle"] = d.bundle;
        document["binary"] = d.binary;
        document["requiredFeatures"] = d.requiredFeatures;
        document["optionalFeatures"] = d.optionalFeatures;
        document["latency"] = latency;
        document["latencyPort"] = d.latencyPort ? nlohmann::ordered_json(latencyPort) : nlohmann::ordered_json(nullptr);
        document["inputs"] = plugin.inputs();
        document["outputs"] = plugin.outputs();
        document["ports"] = nlohmann::ordered_json::array();
        for (const Lv2Port& p : d.ports)
            document["ports"].push_back({{"index", p.index},
                                         {"symbol", p.symbol},
                                         {"name", p.name},
                                         {"type", kindName(p.kind)},
                                         {"direction", p.input ? "input" : "output"},
                                         {"minimum", valueJson(p.minimum)},
                                         {"maximum", valueJson(p.maximum)},
                                         {"default", valueJson(p.defaultValue)},
                                         {"unit", p.unit},
                                         {"properties", p.properties}});
        std::cout << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return 0;
    }
    std::printf("plug-in:       %s (LV2)\n", d.uri.c_str());
    std::printf("name:          %s\n", d.name.empty() ? "(not given)" : d.name.c_str());
    std::printf("class:         %s\n", d.className.empty() ? "(not given)" : d.className.c_str());
    std::printf("author:        %s\n", d.author.empty() ? "(not given)" : d.author.c_str());
    std::printf("bundle:        %s\n", d.bundle.c_str());
    std::printf("binary:        %s\n", d.binary.c_str());
    std::printf("requires:      %s\n", joined(d.requiredFeatures, "nothing").c_str());
    std::printf("optional:      %s\n", joined(d.optionalFeatures, "nothing").c_str());
    if (d.latencyPort)
        std::printf("latency:       %d samples, reported by port '%s' at %g Hz\n", latency, latencyPort.c_str(),
                    kProbeRate);
    else
        std::printf("latency:       0 samples (no latency port)\n");
    const bool mono = plugin.inputs() == 2 && plugin.outputs() == 2 &&
                      std::count_if(d.ports.begin(), d.ports.end(),
                                    [](const Lv2Port& p) { return p.kind == Lv2Port::Kind::audio; }) == 2;
    std::printf("channels:      %d in, %d out%s\n", plugin.inputs(), plugin.outputs(),
                mono ? " (a mono plug-in, run once per channel)" : "");
    std::printf("ports:         %zu\n", d.ports.size());
    std::printf("  %3s  %-16s %-18s %-14s %10s %10s %10s  %s\n", "", "symbol", "name", "type", "minimum", "maximum",
                "default", "unit");
    for (const Lv2Port& p : d.ports) {
        const std::string type = std::string(kindName(p.kind)) + (p.input ? " in" : " out");
        std::printf("  %3u  %-16s %-18s %-14s %10s %10s %10s  %s\n", p.index, p.symbol.c_str(), p.name.c_str(),
                    type.c_str(), valueText(p.minimum).c_str(), valueText(p.maximum).c_str(),
                    valueText(p.defaultValue).c_str(), p.unit.c_str());
    }
    return 0;
}

} // namespace plughost
