#include "preview/StainPreview.h"

#include "scene/NoiseSamplers.h"
#include "shading/StainProcedure.h"

namespace {

// Slot 0 and slot 1, as vesk-render hands them to the plug-in.
const SampleFunction PreviewSamplers[2] = {SampleSurfaceNoise, SampleDensityNoise};

// The stain rule with the record the context points at, as the plug-in's
// procedure applies it with the renderer's samplers.
bool ShadeWithStainRule(const void* context, const float point[3], float colour[3]) {
    const uint32_t source = 1;
    uint32_t destination = 0;
    ShadeStainPoint(*static_cast<const ShaderParameters*>(context), point[0], point[1], point[2], PreviewSamplers, colour,
                    &source, &destination);
    return destination == source;
}

}  // namespace

void RenderStainPreview(const ShaderParameters& parameters, const PixelRows& rows) {
    const SceneView view{SceneKind::Cube,         PreviewWidth,       PreviewHeight, DefaultSurfaceColour,
                         DefaultBackgroundColour, ShadeWithStainRule, &parameters};
    RenderSceneRows(view, rows);
}
