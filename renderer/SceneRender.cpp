#include "renderer/SceneRender.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "renderer/Samplers.h"

namespace {

// What the scene's shading function needs to call the plug-in as the renderer does.
struct ProcedureShading {
    ProcedureFunction procedure;
    const HostFunctionTable* functions;
};

// Startup has been called once; this is the one call per pixel. The full
// stain is where the procedure copied the source value to the destination.
bool ShadeThroughProcedure(const void* context, const float point[3], float colour[3]) {
    const ProcedureShading& shading = *static_cast<const ProcedureShading*>(context);
    const uint32_t source = 1;
    uint32_t destination = 0;
    shading.procedure(0, 0, 0, point[0], point[1], point[2], 0, 0, 0, &source, 0, colour, 0, &destination,
                      shading.functions);
    return destination == source;
}

}  // namespace

bool ParseSceneKind(const std::string& name, SceneKind& kind) {
    if (name == "cube") kind = SceneKind::Cube;
    else if (name == "sphere") kind = SceneKind::Sphere;
    else if (name == "plane") kind = SceneKind::Plane;
    else return false;
    return true;
}

int DefaultThreadCount() {
    return std::max(1u, std::thread::hardware_concurrency());
}

int EffectiveThreadCount(int requested) {
    return requested > 0 ? requested : DefaultThreadCount();
}

RenderedImage RenderScene(const PluginModule& plugin, const RenderSettings& settings, const RenderProgress& progress) {
    RenderedImage image;
    image.width = settings.width;
    image.height = settings.height;
    image.rgb.assign(static_cast<size_t>(settings.width) * settings.height * 3, 0);
    image.mask.assign(static_cast<size_t>(settings.width) * settings.height, 0);
    const ProcedureShading shading{plugin.Procedure, settings.functions ? settings.functions : &NoiseFunctions()};
    const SceneView view{settings.scene,      settings.width, settings.height, settings.surface,
                         settings.background, ShadeThroughProcedure, &shading};

    // Rows are handed out one at a time; each pixel depends only on its own position.
    std::atomic<int> nextRow{0}, rowsDone{0};
    auto shadeRows = [&](bool reports) {
        for (int y = nextRow++; y < settings.height; y = nextRow++) {
            size_t first = static_cast<size_t>(y) * settings.width;
            RenderSceneRow(view, y, &image.rgb[first * 3], ChannelOrder::Rgb, &image.mask[first]);
            ++rowsDone;
            if (reports) progress(rowsDone.load(), settings.height);
        }
    };

    // This thread shades too, and is the only one that reports.
    int threads = std::min(EffectiveThreadCount(settings.threads), std::max(1, settings.height));
    std::vector<std::thread> workers;
    for (int i = 1; i < threads; ++i) workers.emplace_back(shadeRows, false);
    shadeRows(static_cast<bool>(progress));
    for (auto& worker : workers) worker.join();
    return image;
}
