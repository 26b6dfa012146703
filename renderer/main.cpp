// vesk-render: a stand-in for the RuduZ/I renderer. Loads vesk.dll, drives
// its five exports as the renderer does, and renders, morphs, edits,
// tabulates and benchmarks through them.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <new>
#include <sstream>

#include "renderer/AddressSpace.h"
#include "renderer/ImageFile.h"
#include "renderer/InterfaceFloor.h"
#include "renderer/PluginModule.h"
#include "renderer/Samplers.h"
#include "renderer/SceneRender.h"
#include "renderer/TextCheck.h"

namespace {

const char* const Program = "vesk-render";
// The module's own defaults in text form.
const char* const DefaultText = "# 1.00 1.00 1.00 0.50 0.20 120.00 128.00 128.00";

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

// A bad argument: the message, the command's usage line, where to read more.
int UsageFailure(const CLI::App* command, const std::string& message) {
    std::string name = Program;
    if (command->get_parent() != nullptr) name += " " + command->get_name();
    std::cerr << Program << ": " << message << "\n"
              << CLI::Formatter().make_usage(command, name) << "Run '" << name
              << " --help' for the options.\n";
    return ExitUsage;
}

int Failure(const std::string& message) {
    std::cerr << Program << ": " << message << "\n";
    return ExitFailure;
}

// --- The command line ------------------------------------------------------

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
    command->add_option("--threads", options.threads, "shading threads (0, the default: every core)")
        ->check(CLI::Range(0, 256));
}

// --dll and --version are taken before the subcommand and after it alike.
void AddCommonOptions(CLI::App* command, std::string& path, bool& version) {
    command->add_option("--dll", path, "the plug-in DLL (default: vesk.dll beside this program)")->type_name("PATH");
    command->add_flag("--version", version, "print vesk-render's version and the plug-in's");
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

// Edits (insertions, deletions, changes, swaps of neighbours) between two words.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

// The closest of the names, if it is close enough to be what was meant.
std::string Closest(const std::string& word, const std::vector<std::string>& names) {
    std::string best;
    size_t bestDistance = std::max<size_t>(2, word.size() / 4) + 1;
    for (const std::string& name : names) {
        size_t distance = EditDistance(word, name);
        if (distance < bestDistance) best = name, bestDistance = distance;
    }
    return best;
}

// What the command does not know: an option, or an argument it takes none of.
int UnknownArgument(const CLI::App* command, const std::string& argument) {
    std::vector<std::string> names;
    std::string word = argument.substr(0, argument.find('='));
    bool option = word.size() > 1 && word[0] == '-';
    if (option) {
        for (const CLI::App* app : {command, command->get_parent()}) {
            if (app == nullptr) continue;
            for (const CLI::Option* known : app->get_options()) {
                for (const std::string& name : known->get_lnames()) names.push_back("--" + name);
                for (const std::string& name : known->get_snames()) names.push_back("-" + name);
            }
        }
    } else if (command->get_parent() == nullptr) {
        for (const CLI::App* sub : command->get_subcommands({})) names.push_back(sub->get_name());
    }
    std::string what = option ? "unknown option '" + word + "'"
                              : command->get_parent() == nullptr ? "unknown subcommand '" + word + "'"
                                                                 : "unexpected argument '" + word + "'";
    std::string suggestion = Closest(word, names);
    if (!suggestion.empty()) what += " (did you mean '" + suggestion + "'?)";
    return UsageFailure(command, what);
}

// --- Parameter texts ---------------------------------------------------------

// Refuses a text without the mark and warns about fields the plug-in will
// not read; the text itself goes to the plug-in as given. Returns 0 or the
// exit code.
int CheckText(const CLI::App* command, const std::string& option, const std::string& text) {
    TextReading reading = ReadAsThePlugInDoes(text);
    if (!reading.marked) {
        std::string shown = text.size() > 32 ? text.substr(0, 32) + "..." : text;
        return UsageFailure(command, option + " must start with '#', the parameter text's mark (got \"" + shown +
                                         "\")");
    }
    std::string problem = DescribeReading(reading);
    if (!problem.empty()) std::cerr << Program << ": warning: " << option << ": " << problem << "\n";
    return 0;
}

// --- Outputs -----------------------------------------------------------------

struct Output {
    std::string option;  // how the command line named it: "-o", "--mask", ...
    std::string path;
    ImageFormat format = ImageFormat::Png;
};

std::string FullPath(const std::string& path) {
    char buffer[MAX_PATH * 4];
    DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    std::string full = length > 0 && length < sizeof buffer ? std::string(buffer, length) : path;
    for (char& c : full) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return full;
}

// Every output before any work: the format its extension names (or --bmp),
// no path named twice, and a folder that takes the file. Returns 0 or the
// exit code.
int CheckOutputs(const CLI::App* command, std::vector<Output>& outputs, bool bmp) {
    for (Output& output : outputs) {
        if (!ImageFormatOf(output.path, output.format))
            return UsageFailure(command, output.option + " '" + output.path +
                                             "': the format comes from the extension, .png or .bmp");
        if (bmp && output.format != ImageFormat::Bmp)
            return UsageFailure(command, "--bmp writes BMP, but " + output.option + " '" + output.path +
                                             "' names a PNG");
    }
    for (size_t i = 0; i < outputs.size(); ++i)
        for (size_t j = i + 1; j < outputs.size(); ++j)
            if (FullPath(outputs[i].path) == FullPath(outputs[j].path))
                return UsageFailure(command, outputs[i].option + " and " + outputs[j].option + " both name '" +
                                                 outputs[j].path + "'");
    for (const Output& output : outputs) {
        std::string error;
        if (!CheckWritable(output.path, error)) return Failure(error);
    }
    return 0;
}

// --- Memory ------------------------------------------------------------------

using Blocks = std::vector<uint64_t>;
// The blocks each stage of a job holds at once.
using MemoryPlan = std::vector<Blocks>;
using PlanForSize = std::function<MemoryPlan(int width, int height)>;

Blocks Join(Blocks a, const Blocks& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// RenderScene's picture and mask, and a stack for each thread beyond this one.
Blocks RenderBlocks(int width, int height, int threads) {
    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    Blocks blocks = {3 * pixels, pixels};
    int workers = std::min(EffectiveThreadCount(threads), std::max(1, height)) - 1;
    // 2 MB of stack each, and Wine's own per-thread memory.
    blocks.insert(blocks.end(), workers, uint64_t{4} << 20);
    return blocks;
}

bool Fits(const MemoryPlan& plan) {
    // Room besides the plan for the heap's own growth and the DLLs' needs.
    for (const Blocks& stage : plan)
        if (!AddressSpaceHolds(Join(stage, {uint64_t{32} << 20}))) return false;
    return true;
}

// Refuses a size whose job cannot fit this 32-bit process, and names the
// largest of the same shape that does. Returns 0 or the exit code.
int CheckMemory(const std::string& what, int width, int height, const PlanForSize& plan) {
    if (Fits(plan(width, height))) return 0;
    // Search along the longer side; the other keeps the shape.
    const bool wide = width >= height;
    const int longer = wide ? width : height, shorter = wide ? height : width;
    auto sizeAt = [&](int side, int& w, int& h) {
        int other = std::max(1, static_cast<int>(static_cast<int64_t>(shorter) * side / longer));
        w = wide ? side : other, h = wide ? other : side;
    };
    int low = 0, high = longer;  // low fits (0: none yet), high does not
    while (high - low > 1) {
        int middle = low + (high - low) / 2, w, h;
        sizeAt(middle, w, h);
        (Fits(plan(w, h)) ? low : high) = middle;
    }
    std::string message = what + " of " + std::to_string(width) + " x " + std::to_string(height) +
                          " need more memory than this 32-bit process has";
    if (low == 0) return Failure(message);
    int w, h;
    sizeAt(low, w, h);
    return Failure(message + "; the largest of that shape that fits is " + std::to_string(w) + " x " +
                   std::to_string(h));
}

// --- Progress ----------------------------------------------------------------

// Shows on stderr how far a job is, once it has taken more than a second:
// every ten per cent, 100 % when done, then each file as it is written.
class Progress {
  public:
    explicit Progress(std::string what) : what_(std::move(what)), start_(std::chrono::steady_clock::now()) {}

    void Step(int64_t done, int64_t total) {
        if (!Slow()) return;
        int percent = static_cast<int>(done * 100 / total);
        if (percent >= 100 || (shown_ >= 0 && percent / 10 == shown_ / 10)) return;  // 100 % comes from Finish
        shown_ = percent;
        std::fprintf(stderr, "%s: %d%%\n", what_.c_str(), percent);
    }

    // Rows of one picture among several, as a callback for RenderScene.
    RenderProgress Part(int index, int count) {
        return [this, index, count](int rows, int total) {
            Step(static_cast<int64_t>(index) * total + rows, static_cast<int64_t>(count) * total);
        };
    }

    void Finish() {
        if (!Slow() || shown_ == 100) return;
        shown_ = 100;
        std::fprintf(stderr, "%s: 100%%\n", what_.c_str());
    }

    void Writing(const std::string& path) {
        if (Slow()) std::fprintf(stderr, "%s: writing %s\n", what_.c_str(), path.c_str());
    }

  private:
    bool Slow() const { return shown_ >= 0 || std::chrono::steady_clock::now() - start_ >= std::chrono::seconds(1); }

    std::string what_;
    std::chrono::steady_clock::time_point start_;
    int shown_ = -1;
};

bool SaveImage(Progress& progress, const Output& output, int width, int height, const std::vector<uint8_t>& pixels,
               int channels) {
    progress.Writing(output.path);
    std::string error;
    if (!WriteImageFile(output.path, width, height, pixels, channels, output.format, error)) {
        Failure(error);
        return false;
    }
    return true;
}

// Copies a picture into a larger one at (left, top).
void Paste(std::vector<uint8_t>& sheet, int sheetWidth, const RenderedImage& tile, int left, int top) {
    for (int y = 0; y < tile.height; ++y)
        std::memcpy(&sheet[((static_cast<size_t>(top) + y) * sheetWidth + left) * 3],
                    &tile.rgb[static_cast<size_t>(y) * tile.width * 3], static_cast<size_t>(tile.width) * 3);
}

// --- The subcommands -----------------------------------------------------------

int RunRender(const PluginModule& plugin, const SceneOptions& options, const std::string& text,
              const Output& picture, const Output* mask) {
    plugin.Startup(0, 0, text.c_str());
    RenderSettings settings = ToSettings(options);
    Progress progress("render");
    RenderedImage image = RenderScene(plugin, settings, progress.Part(0, 1));
    plugin.Close();
    progress.Finish();
    if (!SaveImage(progress, picture, image.width, image.height, image.rgb, 3)) return ExitFailure;
    std::vector<uint8_t>().swap(image.rgb);  // the mask's writing gets its room
    if (mask != nullptr && !SaveImage(progress, *mask, image.width, image.height, image.mask, 1)) return ExitFailure;
    long stained = std::count(image.mask.begin(), image.mask.end(), 255);
    std::printf("%s: %dx%d, %ld pixels in the full stain%s\n", picture.path.c_str(), image.width, image.height,
                stained, mask ? ("; mask: " + mask->path).c_str() : "");
    return 0;
}

// The contact sheet of a morph: frames in a near-square grid, each labelled.
struct MorphLayout {
    int columns, rows, width, height;
    static constexpr int Gap = 4, LabelHeight = 16;
    MorphLayout(int frames, int frameWidth, int frameHeight) {
        columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(frames))));
        rows = (frames + columns - 1) / columns;
        width = columns * (frameWidth + Gap) + Gap;
        height = rows * (frameHeight + LabelHeight + Gap) + Gap;
    }
};

std::string FrameName(const std::string& prefix, int i) {
    char name[32];
    std::snprintf(name, sizeof name, "-%03d.png", i);
    return prefix + name;
}

int RunMorph(const PluginModule& plugin, const SceneOptions& options, const std::string& from, const std::string& to,
             int frames, const std::string& prefix, const Output* sheetOutput) {
    RenderSettings settings = ToSettings(options);
    MorphLayout layout(frames, settings.width, settings.height);
    std::vector<uint8_t> sheet;
    if (sheetOutput != nullptr) sheet.assign(static_cast<size_t>(layout.width) * layout.height * 3, 24);

    Progress progress("morph");
    for (int i = 0; i < frames; ++i) {
        // Frame i: the first text, blended toward the second by a falling weight.
        // The defaults first, so fields the first text leaves out do not keep
        // what the last frame's blend made of them.
        float weight = 1.0f - static_cast<float>(i) / (frames - 1);
        plugin.Startup(0, 0, DefaultText);
        plugin.Startup(0, 0, from.c_str());
        plugin.Morph(to.c_str(), weight);
        RenderedImage image = RenderScene(plugin, settings, progress.Part(i, frames));
        Output frame{"--prefix", FrameName(prefix, i), ImageFormat::Png};
        if (!SaveImage(progress, frame, image.width, image.height, image.rgb, 3)) return ExitFailure;
        std::printf("%s (weight %.3f)\n", frame.path.c_str(), weight);
        if (sheetOutput == nullptr) continue;

        const int gap = MorphLayout::Gap;
        int left = gap + (i % layout.columns) * (settings.width + gap);
        int top = gap + (i / layout.columns) * (settings.height + MorphLayout::LabelHeight + gap);
        Paste(sheet, layout.width, image, left, top + MorphLayout::LabelHeight);
        char label[48];
        std::snprintf(label, sizeof label, "%d  w=%.2f", i, weight);
        const uint8_t white[3] = {235, 235, 235};
        DrawLabel(sheet, layout.width, layout.height, left + 2, top + 3, label, 1, white);
    }
    plugin.Close();
    progress.Finish();
    if (sheetOutput != nullptr) {
        if (!SaveImage(progress, *sheetOutput, layout.width, layout.height, sheet, 3)) return ExitFailure;
        std::printf("%s: contact sheet of %d frames\n", sheetOutput->path.c_str(), frames);
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

// The grid of the sheet subcommand: Threshold across, Sharpness down.
const float SheetThresholds[] = {0.3f, 0.4f, 0.5f, 0.6f, 0.7f};
const float SheetSharpnesses[] = {0.0f, 0.1f, 0.2f, 0.4f};
struct SheetLayout {
    static constexpr int Columns = 5, Rows = 4, Gap = 6, Top = 34, Left = 118, Scale = 2;
    int width, height;
    SheetLayout(int tileWidth, int tileHeight)
        : width(Left + Columns * (tileWidth + Gap)), height(Top + Rows * (tileHeight + Gap)) {}
};

int RunSheet(const PluginModule& plugin, const SceneOptions& options, const Output& output) {
    RenderSettings settings = ToSettings(options);
    const SheetLayout layout(settings.width, settings.height);
    const int scale = SheetLayout::Scale, top = SheetLayout::Top, left = SheetLayout::Left, gap = SheetLayout::Gap;
    std::vector<uint8_t> sheet(static_cast<size_t>(layout.width) * layout.height * 3, 250);
    const uint8_t ink[3] = {30, 30, 30};

    DrawLabel(sheet, layout.width, layout.height, 6, 4, "Threshold", scale, ink);
    DrawLabel(sheet, layout.width, layout.height, 6, top - 2, "Sharpness", scale, ink);
    for (int c = 0; c < SheetLayout::Columns; ++c) {
        char label[16];
        std::snprintf(label, sizeof label, "%.2f", SheetThresholds[c]);
        int x = left + c * (settings.width + gap) + (settings.width - LabelWidth(label, scale)) / 2;
        DrawLabel(sheet, layout.width, layout.height, x, 6, label, scale, ink);
    }
    Progress progress("sheet");
    for (int r = 0; r < SheetLayout::Rows; ++r) {
        char label[16];
        std::snprintf(label, sizeof label, "%.2f", SheetSharpnesses[r]);
        int y = top + r * (settings.height + gap) + settings.height / 2 - 6;
        DrawLabel(sheet, layout.width, layout.height, left - 12 - LabelWidth(label, scale), y, label, scale, ink);
        for (int c = 0; c < SheetLayout::Columns; ++c) {
            char text[96];
            std::snprintf(text, sizeof text, "# 1.00 1.00 1.00 %.2f %.2f 235.00 225.00 200.00", SheetThresholds[c],
                          SheetSharpnesses[r]);
            plugin.Startup(0, 0, text);
            const int tile = r * SheetLayout::Columns + c, tiles = SheetLayout::Columns * SheetLayout::Rows;
            RenderedImage image = RenderScene(plugin, settings, progress.Part(tile, tiles));
            Paste(sheet, layout.width, image, left + c * (settings.width + gap), top + r * (settings.height + gap));
        }
    }
    plugin.Close();
    progress.Finish();
    if (!SaveImage(progress, output, layout.width, layout.height, sheet, 3)) return ExitFailure;
    std::printf("%s: %dx%d\n", output.path.c_str(), layout.width, layout.height);
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
    points.reserve(static_cast<size_t>(pointCount) * 3);
    scaled.reserve(static_cast<size_t>(pointCount) * 3);
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

int PrintVersion(const std::string& dllPath) {
    std::printf("%s %s\n", Program, VESK_RENDER_VERSION);
    std::string path = dllPath.empty() ? DefaultPluginPath() : dllPath, version, error;
    if (!ReadModuleVersion(path, version, error)) return Failure(error);
    std::printf("vesk.dll %s (%s)\n", version.c_str(), path.c_str());
    return 0;
}

int Run(int argc, char** argv) {
    CLI::App app{"renders, morphs, edits and benchmarks through the vesk.dll shader plug-in", Program};
    app.require_subcommand(0, 1);
    // Misspellings are reported below, with a suggestion.
    app.allow_extras();
    std::string dllPath;
    bool version = false;
    AddCommonOptions(&app, dllPath, version);

    SceneOptions sceneOptions;
    std::string text = DefaultText, output, maskOutput;
    bool bmp = false;
    CLI::App* render = app.add_subcommand("render", "render a scene through the plug-in");
    AddCommonOptions(render, dllPath, version);
    AddSceneOptions(render, sceneOptions);
    render->add_option("--text", text, "the parameter text, checked, then passed to the plug-in as given")
        ->capture_default_str();
    render->add_option("-o,--output", output, "the picture to write: .png or .bmp")->required()->type_name("FILE");
    render->add_option("--mask", maskOutput, "also write where the full stain was applied (8-bit grey, white)")
        ->type_name("FILE");
    render->add_flag("--bmp", bmp, "the same as naming .bmp files (kept for old scripts)");

    std::string from = DefaultText, to, prefix = "morph", morphSheet;
    int frames = 8;
    CLI::App* morph = app.add_subcommand("morph", "render frames blending one parameter text into another");
    AddCommonOptions(morph, dllPath, version);
    AddSceneOptions(morph, sceneOptions);
    morph->add_option("--from", from, "the first parameter text")->capture_default_str();
    morph->add_option("--to", to, "the second parameter text")->required();
    morph->add_option("--frames", frames, "number of frames (at least 2)")->check(CLI::Range(2, 1000))
        ->capture_default_str();
    morph->add_option("--prefix", prefix, "frames go to PREFIX-000.png, PREFIX-001.png, ...")->capture_default_str();
    morph->add_option("--sheet", morphSheet, "also write all frames in one picture: .png or .bmp")->type_name("FILE");

    std::string editText;
    CLI::App* edit = app.add_subcommand("edit", "open the plug-in's parameter dialog on a text");
    AddCommonOptions(edit, dllPath, version);
    CLI::Option* editTextOption = edit->add_option("--text", editText, "the current text (default: none)");

    std::string sheetOutput;
    CLI::App* sheet = app.add_subcommand("sheet", "a grid of renders: Threshold across, Sharpness down");
    AddCommonOptions(sheet, dllPath, version);
    SceneOptions sheetOptions;
    sheetOptions.scene = "cube", sheetOptions.width = 120, sheetOptions.height = 90;
    AddSceneOptions(sheet, sheetOptions);
    sheet->add_option("-o,--output", sheetOutput, "the picture to write: .png or .bmp")->required()->type_name("FILE");

    int pointCount = 200000;
    CLI::App* bench =
        app.add_subcommand("bench", "time the procedure against the interface's floor, and whole renders");
    AddCommonOptions(bench, dllPath, version);
    SceneOptions benchOptions;
    // The demo's size: long enough that starting the threads is a small part of a render.
    benchOptions.width = 800, benchOptions.height = 600;
    AddSceneOptions(bench, benchOptions);
    bench->add_option("--points", pointCount, "points per timing round")->check(CLI::Range(1000, 10000000))
        ->capture_default_str();

    // --version answers whatever else the command line holds (a subcommand
    // without its required options too); only --dll counts, wherever it is.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0) {
            for (int k = 1; k < argc; ++k) {
                if (std::strcmp(argv[k], "--dll") == 0 && k + 1 < argc) dllPath = argv[k + 1];
                if (std::strncmp(argv[k], "--dll=", 6) == 0) dllPath = argv[k] + 6;
            }
            return PrintVersion(dllPath);
        }

    CLI::App* commands[] = {render, morph, edit, sheet, bench};
    auto active = [&]() -> CLI::App* {
        for (CLI::App* command : commands)
            if (command->parsed()) return command;
        return &app;
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return UsageFailure(active(), e.what());
    }
    CLI::App* command = active();
    for (CLI::App* parser : {command, &app})
        if (!parser->remaining().empty()) return UnknownArgument(parser, parser->remaining().front());
    if (command == &app) return UsageFailure(&app, "name a subcommand: render, morph, edit, sheet or bench");

    // What can be known before the plug-in is loaded and any work is done.
    std::vector<Output> outputs;
    int status = 0;
    if (command == render) {
        status = CheckText(render, "--text", text);
        outputs = {{"-o", output}};
        if (!maskOutput.empty()) outputs.push_back({"--mask", maskOutput});
    } else if (command == morph) {
        status = CheckText(morph, "--from", from);
        if (status == 0) status = CheckText(morph, "--to", to);
        outputs = {{"--prefix", FrameName(prefix, 0)}};
        if (!morphSheet.empty()) {
            outputs.push_back({"--sheet", morphSheet});
            // The sheet must not be one of the frames either.
            for (int i = 1; i < frames; ++i)
                if (FullPath(FrameName(prefix, i)) == FullPath(morphSheet))
                    return UsageFailure(morph, "--sheet '" + morphSheet + "' is also one of the frames");
        }
    } else if (command == edit && editTextOption->count()) {
        status = CheckText(edit, "--text", editText);
    } else if (command == sheet) {
        outputs = {{"-o", sheetOutput}};
    }
    if (status == 0) status = CheckOutputs(command, outputs, bmp);
    if (status != 0) return status;

    if (command == render) {
        const ImageFormat pictureFormat = outputs[0].format;
        const bool mask = outputs.size() > 1;
        const ImageFormat maskFormat = mask ? outputs[1].format : pictureFormat;
        status = CheckMemory("pictures", sceneOptions.width, sceneOptions.height, [&](int w, int h) {
            const uint64_t pixels = static_cast<uint64_t>(w) * h;
            MemoryPlan plan = {RenderBlocks(w, h, sceneOptions.threads),
                               Join({3 * pixels, pixels}, ImageWriteBlocks(w, h, 3, pictureFormat))};
            if (mask) plan.push_back(Join({pixels}, ImageWriteBlocks(w, h, 1, maskFormat)));
            return plan;
        });
    } else if (command == morph) {
        const bool withSheet = outputs.size() > 1;
        const ImageFormat sheetFormat = withSheet ? outputs[1].format : ImageFormat::Png;
        status = CheckMemory("frames", sceneOptions.width, sceneOptions.height, [&](int w, int h) {
            const uint64_t pixels = static_cast<uint64_t>(w) * h;
            MorphLayout layout(frames, w, h);
            Blocks sheetBlock;
            if (withSheet) sheetBlock = {3 * static_cast<uint64_t>(layout.width) * layout.height};
            Blocks frame = Join({3 * pixels, pixels}, ImageWriteBlocks(w, h, 3, ImageFormat::Png));
            MemoryPlan plan = {Join(sheetBlock, RenderBlocks(w, h, sceneOptions.threads)), Join(sheetBlock, frame)};
            if (withSheet)
                plan.push_back(Join(sheetBlock, ImageWriteBlocks(layout.width, layout.height, 3, sheetFormat)));
            return plan;
        });
    } else if (command == sheet) {
        const ImageFormat format = outputs[0].format;
        status = CheckMemory("tiles", sheetOptions.width, sheetOptions.height, [&](int w, int h) {
            SheetLayout layout(w, h);
            Blocks sheetBlock = {3 * static_cast<uint64_t>(layout.width) * layout.height};
            return MemoryPlan{Join(sheetBlock, RenderBlocks(w, h, sheetOptions.threads)),
                              Join(sheetBlock, ImageWriteBlocks(layout.width, layout.height, 3, format))};
        });
    } else if (command == bench) {
        const uint64_t pointBytes = static_cast<uint64_t>(pointCount) * 3 * sizeof(float);
        status = CheckMemory("renders", benchOptions.width, benchOptions.height, [&](int w, int h) {
            return MemoryPlan{Join({pointBytes, pointBytes}, RenderBlocks(w, h, benchOptions.threads))};
        });
    }
    if (status != 0) return status;

    PluginModule plugin;
    std::string error;
    if (!LoadPluginModule(dllPath.empty() ? DefaultPluginPath() : dllPath, plugin, error)) return Failure(error);
    // Each line as it comes, also through a file or a pipe.
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    const Output* second = outputs.size() > 1 ? &outputs[1] : nullptr;  // the mask, or the morph's sheet
    if (command == render) return RunRender(plugin, sceneOptions, text, outputs[0], second);
    if (command == morph) return RunMorph(plugin, sceneOptions, from, to, frames, prefix, second);
    if (command == edit) return RunEdit(plugin, editTextOption->count() ? &editText : nullptr);
    if (command == sheet) return RunSheet(plugin, sheetOptions, outputs[0]);
    return RunBench(plugin, pointCount, benchOptions);
}

}  // namespace

int main(int argc, char** argv) {
    // The checks above keep large jobs out; this is the last word, never a C++ crash message.
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        return Failure("out of memory");
    } catch (const std::exception& e) {
        return Failure(e.what());
    }
}
