// What the real-window tests of the editor share: running a program and reading its output,
// reading a picture file's pixels, and the grid of drags with the check of the gestures it gives.
#pragma once

#include "hq_editor_layout.h"
#include "pixel_canvas.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

inline std::string quoted(const std::string& word)
{
    return "'" + word + "'";
}

// The program with the words, its standard output, and its exit code through status.
inline std::string runProgram(const std::vector<std::string>& program, const std::vector<std::string>& words,
                              int& status)
{
    std::string command;
    for (const std::string& word : program) {
        command += quoted(word) + " ";
    }
    for (const std::string& word : words) {
        command += " " + quoted(word);
    }
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    std::array<char, 4096> buffer{};
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        out.append(buffer.data(), n);
    }
    status = pclose(pipe);
    return out;
}

inline std::vector<Colour> readPng(const std::filesystem::path& path, int& width, int& height)
{
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    std::vector<Colour> pixels;
    width = cairo_image_surface_get_width(surface);
    height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    for (int y = 0; data != nullptr && y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Colour pixel;
            std::memcpy(&pixel, data + y * stride + x * 4, sizeof pixel);
            pixels.push_back(pixel & 0xffffffu);
        }
    }
    cairo_surface_destroy(surface);
    return pixels;
}

// A BMP of 24 bits a pixel without compression, rows from the bottom or (a negative height) the
// top; anything else gives no pixels and a size of 0 x 0.
inline std::vector<Colour> readBmp(const std::filesystem::path& path, int& width, int& height)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto word = [&](std::size_t at, int size) {
        std::uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i) {
            value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
        }
        return value;
    };
    width = height = 0;
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M' || word(28, 2) != 24 || word(30, 4) != 0) {
        return {};
    }
    const auto offset = word(10, 4);
    const int w = static_cast<int>(word(18, 4));
    const int h = static_cast<int>(static_cast<std::int32_t>(word(22, 4)));
    const int rows = h < 0 ? -h : h;
    const std::size_t rowBytes = (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3};
    if (bytes.size() < offset + rowBytes * static_cast<std::size_t>(rows)) {
        return {};
    }
    std::vector<Colour> pixels;
    for (int y = 0; y < rows; ++y) {
        const std::size_t row = offset + rowBytes * static_cast<std::size_t>(h < 0 ? y : rows - 1 - y);
        for (int x = 0; x < w; ++x) {
            pixels.push_back(word(row + static_cast<std::size_t>(x) * 3, 3));
        }
    }
    width = w;
    height = rows;
    return pixels;
}

// A folder of the test's own in TMPDIR, removed with everything in it when the test ends.
class Scratch {
public:
    explicit Scratch(const std::string& prefix)
        : folder_(std::filesystem::temp_directory_path() / (prefix + std::to_string(getpid())))
    {
        std::filesystem::create_directories(folder_);
    }
    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    std::filesystem::path operator()(const std::string& name) const { return folder_ / name; }

private:
    std::filesystem::path folder_;
};

// Up and down over every knob and across the selector, as --drag words.
inline std::vector<std::string> dragGridWords()
{
    std::vector<std::string> words;
    auto drag = [&words](int x, int y, int dy) {
        words.insert(words.end(), {"--drag", std::to_string(x) + "," + std::to_string(y) + ",0," + std::to_string(dy)});
    };
    for (const HqEditorWidget& widget : kHqEditorWidgets) {
        const int x = widget.cell.x + widget.cell.width / 2;
        if (widget.kind == HqWidgetKind::knob) {
            const int y = widget.cell.y + kKnobCentreY;
            drag(x, y, -30);
            drag(x - 10, y + 10, 45);
        } else {
            drag(widget.cell.x + 10, widget.cell.y + kSelectorTop + 4, 10);
        }
    }
    return words;
}

// Each gesture of plughost's --json is begin, automate calls and end of one parameter, at least
// five parameters move, and each ends at the last value it was automated to.
inline void expectOneGesturePerParameter(const nlohmann::json& document, std::size_t drags)
{
    EXPECT_EQ(document["width"], kHqEditorWidth);
    EXPECT_EQ(document["height"], kHqEditorHeight);
    ASSERT_EQ(document["gestures"].size(), drags);
    std::map<int, float> lastAutomated;
    for (const auto& gesture : document["gestures"]) {
        const auto& calls = gesture["calls"];
        if (calls.empty()) {
            continue;
        }
        ASSERT_GE(calls.size(), 3u) << gesture.dump();
        const int parameter = calls.front()[1];
        EXPECT_EQ(calls.front()[0], "beginEdit") << gesture.dump();
        EXPECT_EQ(calls.back(), nlohmann::json::array({"endEdit", parameter})) << gesture.dump();
        for (std::size_t i = 1; i + 1 < calls.size(); ++i) {
            EXPECT_EQ(calls[i][0], "automate") << gesture.dump();
            EXPECT_EQ(calls[i][1], parameter) << gesture.dump();
            lastAutomated[parameter] = calls[i][2];
        }
    }
    EXPECT_GE(lastAutomated.size(), 5u) << "parameters the grid changed";
    for (const auto& [parameter, value] : lastAutomated) {
        EXPECT_EQ(document["parameters"][static_cast<std::size_t>(parameter)]["value"].get<float>(), value)
            << "parameter " << parameter;
    }
}
