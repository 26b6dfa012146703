// The dialog's preview: the scene's cube, shaded by the stain rule with the
// scene's noise samplers, for any parameter record. Written straight into
// the caller's pixels (a DIB section's bits: see DibRows), so nothing is
// allocated. Portable and free of library calls, like the scene beneath it.
#pragma once

#include "params/ShaderParameters.h"
#include "scene/Scene.h"

constexpr int PreviewWidth = 160;
constexpr int PreviewHeight = 120;

// Renders the PreviewWidth x PreviewHeight preview of the record into rows.
// With DefaultParameters it is resources/preview.bmp, pixel for pixel.
void RenderStainPreview(const ShaderParameters& parameters, const PixelRows& rows);
