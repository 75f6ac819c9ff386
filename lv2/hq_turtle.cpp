// Writes the HQ LV2 bundle's Turtle files (manifest.ttl, the plug-in's description and its
// presets) from the core's control list and presets, so that names, ranges, defaults and
// presets have one source that every format reads. Run by the build:
//
//   hq_turtle FOLDER
//
// Exit code 0 when the three files are written, 1 when one cannot be, 2 on a usage error.
#include "hq_lv2_ports.h"
#include "soft_knee_hq.h"
#include "soft_knee_hq_controls.h"
#include "soft_knee_hq_presets.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr char kPrefixes[] = "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
                             "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
                             "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                             "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                             "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                             "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                             "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n\n";

// The shortest decimal that reads back as the same float, always with a point, so that
// Turtle takes it as a decimal and not as an integer.
std::string decimal(float value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof(text), value).ptr;
    std::string written(text, end);
    if (written.find_first_of(".e") == std::string::npos) {
        written += ".0";
    }
    return written;
}

std::string quotedString(const char* text)
{
    return std::string("\"") + text + "\"";
}

std::string presetUri(const HqPreset& preset)
{
    return std::string("<") + kHqLv2PresetPrefix + preset.id + ">";
}

// The unit a host shows after a control's value, in LV2's units vocabulary; "x", the gain
// factor, and the plain numbers are coefficients as in the first effect's bundle.
const char* lv2Unit(const HqControl& control)
{
    const std::string unit = control.unit;
    return unit == "dB" ? "units:db" : unit == "%" ? "units:pc" : "units:coef";
}

std::string manifest()
{
    std::ostringstream out;
    out << kPrefixes << "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n\n"
        << "<" << kHqLv2Uri << ">\n    a lv2:Plugin ;\n    lv2:binary <" << HQ_LV2_BINARY << "> ;\n    rdfs:seeAlso <"
        << HQ_LV2_DATA << "> ;\n    ui:ui <" << kHqLv2UiUri << "> .\n";
    // The editor, in a binary of its own that a host loads only to show it.
    out << "\n<" << kHqLv2UiUri << ">\n    a ui:X11UI ;\n    ui:binary <" << HQ_LV2_UI_BINARY
        << "> ;\n    lv2:requiredFeature ui:parent , ui:idleInterface ;\n"
        << "    lv2:optionalFeature ui:resize , ui:touch , <http://lv2plug.in/ns/ext/instance-access> ,\n"
        << "        <http://lv2plug.in/ns/ext/data-access> , <http://lv2plug.in/ns/ext/options#options> ,\n"
        << "        <http://lv2plug.in/ns/ext/urid#map> ;\n"
        << "    <http://lv2plug.in/ns/ext/options#supportedOption> ui:scaleFactor ,\n"
        << "        <http://lv2plug.in/ns/ext/parameters#sampleRate> ;\n    lv2:extensionData ui:idleInterface .\n";
    for (const HqPreset& preset : kHqPresets) {
        out << "\n"
            << presetUri(preset) << "\n    a pset:Preset ;\n    lv2:appliesTo <" << kHqLv2Uri
            << "> ;\n    rdfs:seeAlso <presets.ttl> .\n";
    }
    return out.str();
}

std::string controlPort(std::int32_t index)
{
    const HqControl& control = kHqControls[index];
    std::ostringstream out;
    out << "[\n        a lv2:InputPort , lv2:ControlPort ;\n        lv2:index " << hqLv2PortOf(index)
        << " ;\n        lv2:symbol " << quotedString(control.symbol) << " ;\n        lv2:name "
        << quotedString(control.name) << " ;\n        lv2:default " << decimal(control.range.initial)
        << " ;\n        lv2:minimum " << decimal(control.range.minimum) << " ;\n        lv2:maximum "
        << decimal(control.range.maximum);
    if (index == kHqControlQuality) {
        out << " ;\n        lv2:portProperty lv2:integer , lv2:enumeration";
        for (std::int32_t quality = 0; quality < kHqQualityCount; ++quality) {
            out << " ;\n        lv2:scalePoint [ rdfs:label "
                << quotedString(hqQualityName(static_cast<HqQuality>(quality))) << " ; rdf:value "
                << decimal(static_cast<float>(quality)) << " ]";
        }
    } else if (index == kHqControlAutoGain) {
        out << " ;\n        lv2:portProperty lv2:toggled";
    } else if (index == kHqControlCeiling) {
        out << " ;\n        units:unit " << lv2Unit(control)
            << " ;\n        lv2:scalePoint [ rdfs:label \"Off\" ; rdf:value " << decimal(control.range.maximum) << " ]";
    } else {
        out << " ;\n        units:unit " << lv2Unit(control);
    }
    out << "\n    ]";
    return out.str();
}

std::string audioPort(std::uint32_t index, const char* direction, const char* symbol, const char* name)
{
    std::ostringstream out;
    out << "[\n        a lv2:" << direction << " , lv2:AudioPort ;\n        lv2:index " << index
        << " ;\n        lv2:symbol " << quotedString(symbol) << " ;\n        lv2:name " << quotedString(name)
        << "\n    ]";
    return out.str();
}

std::string description()
{
    std::ostringstream out;
    out << kPrefixes << "<" << HQ_LV2_PROJECT_URI << ">\n    a doap:Project ;\n    doap:name \"" << HQ_LV2_PROJECT
        << "\" ;\n    doap:license <" << HQ_LV2_LICENSE_URI << "> ;\n    doap:maintainer <" << HQ_LV2_MAKER_URI
        << "> .\n\n<" << HQ_LV2_MAKER_URI << ">\n    a foaf:Organization ;\n    foaf:name \"" << HQ_LV2_MAKER
        << "\" .\n\n";
    out << "# The soft-knee curve run oversampled with anti-aliasing, its controls gliding, and a\n"
           "# constant latency at every Quality, reported on the latency port.\n";
    out << "<" << kHqLv2Uri << ">\n    a lv2:Plugin , lv2:WaveshaperPlugin ;\n    doap:name \"" << HQ_LV2_NAME
        << "\" ;\n    doap:license <" << HQ_LV2_LICENSE_URI << "> ;\n    doap:maintainer <" << HQ_LV2_MAKER_URI
        << "> ;\n    lv2:project <" << HQ_LV2_PROJECT_URI << "> ;\n    lv2:minorVersion " << HQ_LV2_MINOR_VERSION
        << " ;\n    lv2:microVersion " << HQ_LV2_MICRO_VERSION << " ;\n    rdfs:comment \"Stereo soft-knee "
        << "waveshaper without audible aliasing, version " << HQ_LV2_VERSION
        << ": boost, a rational curve above the knee, output level and dry/wet mix.\" ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable ;\n    lv2:port ";
    for (std::int32_t index = 0; index < kHqControlAutoGain; ++index) {
        out << controlPort(index) << " , ";
    }
    const auto latency = static_cast<float>(hqLatencyFrames(48000.0));
    out << "[\n        a lv2:OutputPort , lv2:ControlPort ;\n        lv2:index " << kHqLv2Latency
        << " ;\n        lv2:symbol \"latency\" ;\n        lv2:name \"Latency\" ;\n"
        << "        lv2:designation lv2:latency ;\n        lv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
        << "        lv2:minimum " << decimal(latency) << " ;\n        lv2:maximum " << decimal(latency)
        << " ;\n        units:unit units:frame\n    ] , " << audioPort(kHqLv2InLeft, "InputPort", "in_left", "Left In")
        << " , " << audioPort(kHqLv2InRight, "InputPort", "in_right", "Right In") << " , "
        << audioPort(kHqLv2OutLeft, "OutputPort", "out_left", "Left Out") << " , "
        << audioPort(kHqLv2OutRight, "OutputPort", "out_right", "Right Out");
    for (std::int32_t index = kHqControlAutoGain; index < kHqControlCount; ++index) {
        out << " , " << controlPort(index);
    }
    // Hosts drive this port from their bypass button: 0 crossfades to the delayed input.
    out << " , [\n        a lv2:InputPort , lv2:ControlPort ;\n        lv2:index " << kHqLv2Enabled
        << " ;\n        lv2:symbol \"enabled\" ;\n        lv2:name \"Enabled\" ;\n"
        << "        lv2:designation lv2:enabled ;\n        lv2:portProperty lv2:toggled ;\n"
        << "        lv2:default 1 ;\n        lv2:minimum 0 ;\n        lv2:maximum 1\n    ] .\n";
    return out.str();
}

std::string presets()
{
    std::ostringstream out;
    out << kPrefixes;
    for (const HqPreset& preset : kHqPresets) {
        out << presetUri(preset) << "\n    a pset:Preset ;\n    lv2:appliesTo <" << kHqLv2Uri << "> ;\n    rdfs:label "
            << quotedString(preset.name) << " ;\n    lv2:port ";
        for (std::int32_t index = 0; index < kHqControlCount; ++index) {
            out << (index == 0 ? "" : " ,\n        ") << "[ lv2:symbol " << quotedString(kHqControls[index].symbol)
                << " ; pset:value " << decimal(preset.values[index]) << " ]";
        }
        out << " .\n\n";
    }
    return out.str();
}

bool write(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        std::fprintf(stderr, "hq_turtle: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: hq_turtle FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const bool written = write(folder / "manifest.ttl", manifest()) && write(folder / HQ_LV2_DATA, description()) &&
                         write(folder / "presets.ttl", presets());
    return written ? 0 : 1;
}
