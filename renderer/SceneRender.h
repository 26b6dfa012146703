// The preview scene (scene/) shaded through the plug-in's procedure, on
// every core. Each visible pixel's object-space hit point is its
// texture-space position; the procedure colours the unlit surface, then a
// fixed light shades it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "renderer/PluginModule.h"
#include "scene/Scene.h"

bool ParseSceneKind(const std::string& name, SceneKind& kind);

struct RenderSettings {
    SceneKind scene = SceneKind::Cube;
    int width = 400;
    int height = 300;
    Colour surface = DefaultSurfaceColour;
    Colour background = DefaultBackgroundColour;
    int threads = 0;  // 0: every core
    const HostFunctionTable* functions = nullptr;  // null: the noise samplers
};

// 8-bit RGB pixels, row by row from the top, and the full-stain mask
// (255 where the procedure copied the source value to the destination).
struct RenderedImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    std::vector<uint8_t> mask;
};

// Called from the calling thread after each row it shades, with the rows done so far.
using RenderProgress = std::function<void(int rowsDone, int rowsTotal)>;

// Shades every visible pixel through the procedure; the text must be loaded
// already. Identical pixels for any thread count.
RenderedImage RenderScene(const PluginModule& plugin, const RenderSettings& settings,
                          const RenderProgress& progress = {});

// Every core, or as many threads as asked for.
int DefaultThreadCount();
int EffectiveThreadCount(int requested);
