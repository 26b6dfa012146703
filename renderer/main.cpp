// vesk-render: a stand-in for the RuduZ/I renderer. Loads vesk.dll, drives
// its five exports as the renderer does, and renders, morphs, edits,
// tabulates and benchmarks through them.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>

#include "renderer/ImageFile.h"
#include "renderer/InterfaceFloor.h"
#include "renderer/PluginModule.h"
#include "renderer/Samplers.h"
#include "renderer/SceneRender.h"

namespace {

// The module's own defaults in text form.
const char* const DefaultText = "# 1.00 1.00 1.00 0.50 0.20 120.00 128.00 128.00";

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

struct SceneOptions {
    std::string scene = "cube";
    int width = 400;
    int height = 300;
    std::string surface = "200,40,35";
    std::string background = "40,70,150";
    int threads = 0;
};

// "R,G,B" with each channel a number on the 0-255 scale.
bool ParseColour(const std::string& text, Colour& colour) {
    float channels[3];
    char tail = 0;
    if (std::sscanf(text.c_str(), "%f,%f,%f%c", &channels[0], &channels[1], &channels[2], &tail) != 3) return false;
    for (float c : channels)
        if (!(c >= 0.0f && c <= 255.0f)) return false;
    colour = {channels[0], channels[1], channels[2]};
    return true;
}

const auto ColourCheck = CLI::Validator(
    [](std::string& text) {
        Colour unused;
        return ParseColour(text, unused) ? std::string() : "expected R,G,B with each channel from 0 to 255";
    },
    "R,G,B");

void AddSceneOptions(CLI::App* command, SceneOptions& options) {
    command->add_option("--scene", options.scene, "cube, sphere or plane")
        ->check(CLI::IsMember({"cube", "sphere", "plane"}))
        ->capture_default_str();
    command->add_option("--width", options.width, "image width in pixels")->check(CLI::Range(1, 16384))
        ->capture_default_str();
    command->add_option("--height", options.height, "image height in pixels")->check(CLI::Range(1, 16384))
        ->capture_default_str();
    command->add_option("--surface", options.surface, "surface colour R,G,B (0-255)")->check(ColourCheck)
        ->capture_default_str();
    command->add_option("--background", options.background, "background colour R,G,B (0-255)")
        ->check(ColourCheck)->capture_default_str();
    command->add_option("--threads", options.threads, "shading threads (default: every core)")
        ->check(CLI::Range(1, 256));
}

RenderSettings ToSettings(const SceneOptions& options) {
    RenderSettings settings;
    ParseSceneKind(options.scene, settings.scene);
    settings.width = options.width;
    settings.height = options.height;
    ParseColour(options.surface, settings.surface);
    ParseColour(options.background, settings.background);
    settings.threads = options.threads;
    return settings;
}

// Reports the rows done on stderr once a render has taken more than a second.
RenderProgress ProgressOnStderr(const std::string& what) {
    auto start = std::chrono::steady_clock::now();
    auto shown = std::make_shared<int>(-1);
    return [start, shown, what](int done, int total) {
        auto elapsed = std::chrono::steady_clock::now() - start;
        if (elapsed < std::chrono::seconds(1)) return;
        int percent = done * 100 / total;
        if (percent / 10 == *shown / 10 && done != total) return;  // every ten per cent
        *shown = percent;
        std::fprintf(stderr, "%s: %d%%\n", what.c_str(), percent);
    };
}

bool SaveImage(const std::string& path, const RenderedImage& image, const std::vector<uint8_t>& rgb,
               ImageFormat format) {
    std::string error;
    if (!WriteImageFile(path, image.width, image.height, rgb, format, error)) {
        std::fprintf(stderr, "vesk-render: %s\n", error.c_str());
        return false;
    }
    return true;
}

std::vector<uint8_t> MaskAsRgb(const RenderedImage& image) {
    std::vector<uint8_t> rgb(image.mask.size() * 3);
    for (size_t i = 0; i < image.mask.size(); ++i) rgb[i * 3] = rgb[i * 3 + 1] = rgb[i * 3 + 2] = image.mask[i];
    return rgb;
}

// Copies a picture into a larger one at (left, top).
void Paste(std::vector<uint8_t>& sheet, int sheetWidth, const RenderedImage& tile, int left, int top) {
    for (int y = 0; y < tile.height; ++y)
        std::memcpy(&sheet[((static_cast<size_t>(top) + y) * sheetWidth + left) * 3],
                    &tile.rgb[static_cast<size_t>(y) * tile.width * 3], static_cast<size_t>(tile.width) * 3);
}

int RunRender(const PluginModule& plugin, const SceneOptions& options, const std::string& text,
              const std::string& output, const std::string& maskOutput, bool bmp) {
    plugin.Startup(0, 0, text.c_str());
    RenderSettings settings = ToSettings(options);
    RenderedImage image = RenderScene(plugin, settings, ProgressOnStderr("render"));
    plugin.Close();
    ImageFormat format = bmp ? ImageFormat::Bmp : ImageFormat::Png;
    if (!SaveImage(output, image, image.rgb, format)) return ExitFailure;
    if (!maskOutput.empty() && !SaveImage(maskOutput, image, MaskAsRgb(image), format)) return ExitFailure;
    long stained = std::count(image.mask.begin(), image.mask.end(), 255);
    std::printf("%s: %dx%d, %ld pixels in the full stain\n", output.c_str(), image.width, image.height, stained);
    return 0;
}

int RunMorph(const PluginModule& plugin, const SceneOptions& options, const std::string& from, const std::string& to,
             int frames, const std::string& prefix, const std::string& sheetPath) {
    RenderSettings settings = ToSettings(options);
    int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(frames))));
    int rows = (frames + columns - 1) / columns;
    const int gap = 4, labelHeight = 16;
    int sheetWidth = columns * (settings.width + gap) + gap;
    int sheetHeight = rows * (settings.height + labelHeight + gap) + gap;
    std::vector<uint8_t> sheet(static_cast<size_t>(sheetWidth) * sheetHeight * 3, 24);

    for (int i = 0; i < frames; ++i) {
        // Frame i: the first text, blended toward the second by a falling weight.
        float weight = 1.0f - static_cast<float>(i) / (frames - 1);
        plugin.Startup(0, 0, from.c_str());
        plugin.Morph(to.c_str(), weight);
        RenderedImage image = RenderScene(plugin, settings);
        char name[32];
        std::snprintf(name, sizeof name, "-%03d.png", i);
        if (!SaveImage(prefix + name, image, image.rgb, ImageFormat::Png)) return ExitFailure;
        std::printf("%s%s (weight %.3f)\n", prefix.c_str(), name, weight);

        int left = gap + (i % columns) * (settings.width + gap);
        int top = gap + (i / columns) * (settings.height + labelHeight + gap);
        Paste(sheet, sheetWidth, image, left, top + labelHeight);
        char label[48];
        std::snprintf(label, sizeof label, "%d  w=%.2f", i, weight);
        const uint8_t white[3] = {235, 235, 235};
        DrawLabel(sheet, sheetWidth, sheetHeight, left + 2, top + 3, label, 1, white);
    }
    plugin.Close();
    std::string error;
    if (!sheetPath.empty()) {
        if (!WriteImageFile(sheetPath, sheetWidth, sheetHeight, sheet, ImageFormat::Png, error)) {
            std::fprintf(stderr, "vesk-render: %s\n", error.c_str());
            return ExitFailure;
        }
        std::printf("%s: contact sheet of %d frames\n", sheetPath.c_str(), frames);
    }
    return 0;
}

int RunEdit(const PluginModule& plugin, const std::string* text) {
    const HostMemoryFunctions& memory = CountingAllocator();
    // The text lives in the renderer's memory, as the plug-in expects.
    char* current = nullptr;
    if (text != nullptr) {
        current = static_cast<char*>(memory.Allocate(text->size() + 1));
        std::memcpy(current, text->c_str(), text->size() + 1);
    }
    AllocatorAccount before = AllocatorSnapshot();
    char* result = plugin.SetParameters(current, GetConsoleWindow(), &memory);
    AllocatorAccount after = AllocatorSnapshot();

    std::printf("text: %s\n", result ? result : "(null)");
    std::printf("plug-in allocated %ld blocks (%lld bytes) and released %ld blocks (%lld bytes)\n",
                after.blocksAllocated - before.blocksAllocated, after.bytesAllocated - before.bytesAllocated,
                after.blocksReleased - before.blocksReleased, after.bytesReleased - before.bytesReleased);
    if (after.unknownReleases != before.unknownReleases)
        std::printf("plug-in released %ld pointers this allocator never gave out\n",
                    after.unknownReleases - before.unknownReleases);

    // The renderer owns what came back; the old text too, if it was not released.
    memory.Release(result);
    if (current != nullptr && current != result && after.blocksReleased == before.blocksReleased)
        memory.Release(current);
    AllocatorAccount end = AllocatorSnapshot();
    long leaked = end.blocksAllocated - end.blocksReleased;
    std::printf("leaks: %ld blocks (%lld bytes)\n", leaked, end.bytesAllocated - end.bytesReleased);
    return leaked == 0 ? 0 : ExitFailure;
}

int RunSheet(const PluginModule& plugin, SceneOptions options, const std::string& output) {
    const float thresholds[] = {0.3f, 0.4f, 0.5f, 0.6f, 0.7f};
    const float sharpnesses[] = {0.0f, 0.1f, 0.2f, 0.4f};
    const int columns = 5, rows = 4, gap = 6, top = 34, left = 118, scale = 2;
    RenderSettings settings = ToSettings(options);
    int sheetWidth = left + columns * (settings.width + gap);
    int sheetHeight = top + rows * (settings.height + gap);
    std::vector<uint8_t> sheet(static_cast<size_t>(sheetWidth) * sheetHeight * 3, 250);
    const uint8_t ink[3] = {30, 30, 30};

    DrawLabel(sheet, sheetWidth, sheetHeight, 6, 4, "Threshold", scale, ink);
    DrawLabel(sheet, sheetWidth, sheetHeight, 6, top - 2, "Sharpness", scale, ink);
    for (int c = 0; c < columns; ++c) {
        char label[16];
        std::snprintf(label, sizeof label, "%.2f", thresholds[c]);
        int x = left + c * (settings.width + gap) + (settings.width - LabelWidth(label, scale)) / 2;
        DrawLabel(sheet, sheetWidth, sheetHeight, x, 6, label, scale, ink);
    }
    for (int r = 0; r < rows; ++r) {
        char label[16];
        std::snprintf(label, sizeof label, "%.2f", sharpnesses[r]);
        int y = top + r * (settings.height + gap) + settings.height / 2 - 6;
        DrawLabel(sheet, sheetWidth, sheetHeight, left - 12 - LabelWidth(label, scale), y, label, scale, ink);
        for (int c = 0; c < columns; ++c) {
            char text[96];
            std::snprintf(text, sizeof text, "# 1.00 1.00 1.00 %.2f %.2f 235.00 225.00 200.00", thresholds[c],
                          sharpnesses[r]);
            plugin.Startup(0, 0, text);
            RenderedImage image = RenderScene(plugin, settings);
            Paste(sheet, sheetWidth, image, left + c * (settings.width + gap), top + r * (settings.height + gap));
        }
    }
    plugin.Close();
    std::string error;
    if (!WriteImageFile(output, sheetWidth, sheetHeight, sheet, ImageFormat::Png, error)) {
        std::fprintf(stderr, "vesk-render: %s\n", error.c_str());
        return ExitFailure;
    }
    std::printf("%s: %dx%d\n", output.c_str(), sheetWidth, sheetHeight);
    return 0;
}

// Nanoseconds per call of a 15-slot procedure over the given points, in one
// round. Out of line, so that scripts/bench-model finds the loop by its name.
__attribute__((noinline)) double TimePerPoint(ProcedureFunction procedure, const std::vector<float>& points,
                                              const HostFunctionTable& functions) {
    ProcedureFunction volatile call = procedure;
    auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < points.size(); i += 3) {
        float colour[3] = {200.0f, 40.0f, 35.0f};
        const uint32_t source = 1;
        uint32_t destination = 0;
        call(0, 0, 0, points[i], points[i + 1], points[i + 2], 0, 0, 0, &source, 0, colour, 0, &destination,
             &functions);
    }
    std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / (points.size() / 3);
}

int RunBench(const PluginModule& plugin, int pointCount, SceneOptions options) {
    plugin.Startup(0, 0, DefaultText);

    // Points on the cube's faces; the floor gets them already scaled, as the plug-in scales them.
    std::vector<float> points, scaled;
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) / 4294967296.0 * 2.0 - 1.0; };
    for (int i = 0; i < pointCount; ++i) {
        double p[3] = {next(), next(), next()};
        p[i % 3] = p[i % 3] < 0 ? -1.0 : 1.0;
        for (double c : p) {
            points.push_back(static_cast<float>(c));
            scaled.push_back(static_cast<float>(static_cast<float>(c) / 0.2));
        }
    }

    std::printf("per shaded point (%d points, best of 5 rounds):\n", pointCount);
    for (int kind = 0; kind < 2; ++kind) {
        const HostFunctionTable& functions = kind == 0 ? TrivialFunctions() : NoiseFunctions();
        // Rounds take turns, so a slow spell of a shared machine falls on all three alike; the best round counts.
        const ProcedureFunction procedures[3] = {InterfaceFloorProcedure, plugin.Procedure, PlainRuleProcedure};
        const std::vector<float>* inputs[3] = {&scaled, &points, &points};
        double best[3] = {1e300, 1e300, 1e300};
        for (int round = 0; round < 5; ++round)
            for (int i = 0; i < 3; ++i) best[i] = std::min(best[i], TimePerPoint(procedures[i], *inputs[i], functions));
        double floor = best[0], through = best[1], plain = best[2];
        std::printf("  %-16s plug-in %8.1f ns  floor %8.1f ns  ratio %.2fx  plug-in share %.1f%%"
                    "  (plain rule %.1f ns, %.2fx)\n",
                    kind == 0 ? "trivial samplers" : "noise samplers", through, floor, through / floor,
                    100.0 * (through - floor) / through, plain, plain / floor);
    }

    // Whole renders with one thread and with every core, in turn.
    RenderSettings settings = ToSettings(options);
    double seconds[2] = {1e300, 1e300};
    int threadCounts[2] = {1, EffectiveThreadCount(options.threads)};
    for (int round = 0; round < 5; ++round)
        for (int run = 0; run < 2; ++run) {
            settings.threads = threadCounts[run];
            auto start = std::chrono::steady_clock::now();
            RenderScene(plugin, settings);
            std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
            seconds[run] = std::min(seconds[run], elapsed.count());
        }
    for (int run = 0; run < 2; ++run)
        std::printf("render %s %dx%d, %d thread%s: %.3f s, %.0f pixels/s\n", options.scene.c_str(), settings.width,
                    settings.height, threadCounts[run], threadCounts[run] == 1 ? "" : "s", seconds[run],
                    settings.width * settings.height / seconds[run]);
    std::printf("speed-up with %d threads: %.2fx\n", threadCounts[1], seconds[0] / seconds[1]);
    plugin.Close();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"vesk-render: renders, morphs, edits and benchmarks through the vesk.dll shader plug-in"};
    app.require_subcommand(1);
    std::string dllPath;
    app.add_option("--dll", dllPath, "the plug-in DLL (default: vesk.dll beside this program)");

    SceneOptions sceneOptions;
    std::string text = DefaultText, output, maskOutput;
    bool bmp = false;
    CLI::App* render = app.add_subcommand("render", "render a scene through the plug-in");
    AddSceneOptions(render, sceneOptions);
    render->add_option("--text", text, "the parameter text, passed to the plug-in as given")->capture_default_str();
    render->add_option("-o,--output", output, "the picture to write (PNG, or BMP with --bmp)")->required();
    render->add_option("--mask", maskOutput, "also write where the full stain was applied (white)");
    render->add_flag("--bmp", bmp, "write 24-bit BMP instead of PNG");

    std::string from = DefaultText, to, prefix = "morph", morphSheet;
    int frames = 8;
    CLI::App* morph = app.add_subcommand("morph", "render frames blending one parameter text into another");
    AddSceneOptions(morph, sceneOptions);
    morph->add_option("--from", from, "the first parameter text")->capture_default_str();
    morph->add_option("--to", to, "the second parameter text")->required();
    morph->add_option("--frames", frames, "number of frames (at least 2)")->check(CLI::Range(2, 1000))
        ->capture_default_str();
    morph->add_option("--prefix", prefix, "frames go to PREFIX-000.png, PREFIX-001.png, ...")->capture_default_str();
    morph->add_option("--sheet", morphSheet, "also write all frames in one PNG");

    std::string editText;
    CLI::App* edit = app.add_subcommand("edit", "open the plug-in's parameter dialog on a text");
    CLI::Option* editTextOption = edit->add_option("--text", editText, "the current text (default: none)");

    std::string sheetOutput;
    CLI::App* sheet = app.add_subcommand("sheet", "a grid of renders: Threshold across, Sharpness down");
    SceneOptions sheetOptions;
    sheetOptions.scene = "cube", sheetOptions.width = 120, sheetOptions.height = 90;
    AddSceneOptions(sheet, sheetOptions);
    sheet->add_option("-o,--output", sheetOutput, "the PNG to write")->required();

    int pointCount = 200000;
    CLI::App* bench = app.add_subcommand("bench", "time the procedure against the interface's floor, and whole renders");
    SceneOptions benchOptions;
    // The demo's size: long enough that starting the threads is a small part of a render.
    benchOptions.width = 800, benchOptions.height = 600;
    AddSceneOptions(bench, benchOptions);
    bench->add_option("--points", pointCount, "points per timing round")->check(CLI::Range(1000, 100000000))
        ->capture_default_str();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "vesk-render: " << e.what() << "\n\n" << app.help();
        return ExitUsage;
    }

    PluginModule plugin;
    std::string error;
    if (!LoadPluginModule(dllPath.empty() ? DefaultPluginPath() : dllPath, plugin, error)) {
        std::fprintf(stderr, "vesk-render: %s\n", error.c_str());
        return ExitFailure;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 1024);

    if (render->parsed()) return RunRender(plugin, sceneOptions, text, output, maskOutput, bmp);
    if (morph->parsed()) return RunMorph(plugin, sceneOptions, from, to, frames, prefix, morphSheet);
    if (edit->parsed()) return RunEdit(plugin, editTextOption->count() ? &editText : nullptr);
    if (sheet->parsed()) return RunSheet(plugin, sheetOptions, sheetOutput);
    return RunBench(plugin, pointCount, benchOptions);
}
