// The preview scene: a cube, sphere or tile seen by a fixed camera under a
// fixed light, on a plain background. Each visible pixel's object-space hit
// point is its texture-space position; the caller's shading function colours
// the unlit surface there, then the light shades it.
//
// Shared by vesk-render and the plug-in's preview, so it knows neither
// Windows nor the stain rule, and it calls no library function: it is linked
// into vesk.dll, which has no C runtime. Deterministic: the same bits on every
// x86 build with SSE2 math and no fused multiply-add.
#pragma once

#include <cstddef>
#include <cstdint>

enum class SceneKind { Cube, Sphere, Plane };

struct Colour {
    float r, g, b;  // 0-255, as the plug-in's stain colour
};

// vesk-render's defaults, and the dialog's preview.
constexpr Colour DefaultSurfaceColour{200.0f, 40.0f, 35.0f};
constexpr Colour DefaultBackgroundColour{40.0f, 70.0f, 150.0f};

// Colours the unlit surface at a texture-space point: colour holds red,
// green and blue (0-255) and is changed in place. Returns true where the
// point took the full stain. May be called from several threads at once.
using ShadePointFunction = bool (*)(const void* context, const float point[3], float colour[3]);

struct SceneView {
    SceneKind scene;
    int width;
    int height;
    Colour surface;
    Colour background;
    ShadePointFunction shade;
    const void* context;  // handed to shade unchanged
};

// Byte order of a pixel's three channels; Windows DIBs store blue first.
enum class ChannelOrder { Rgb, Bgr };

// Where a picture's rows go: 3 bytes per pixel, rows stride bytes apart.
struct PixelRows {
    uint8_t* top;       // the first byte of the top row
    ptrdiff_t stride;   // from a row to the one below it: negative when rows are stored bottom-up
    ChannelOrder order;
};

// The bits of a 24-bit DIB section: rows bottom-up, each padded to a
// multiple of 4 bytes, blue first.
inline PixelRows DibRows(uint8_t* bits, int width, int height) {
    ptrdiff_t stride = (static_cast<ptrdiff_t>(width) * 3 + 3) / 4 * 4;
    return {bits + (height - 1) * stride, -stride, ChannelOrder::Bgr};
}

// Where the pixel's view ray meets the scene, in texture space.
struct SceneHit {
    bool hit = false;
    float point[3]{};
    float normal[3]{};
};

SceneHit TraceScene(SceneKind scene, int px, int py, int width, int height);

// Row y (0 at the top): width pixels into pixels, in the given order. Where
// fullStain is not null it gets one byte per pixel, 255 where the shading
// took the full stain and 0 elsewhere. Rows depend only on their own
// position, so any thread may render any row.
void RenderSceneRow(const SceneView& view, int y, uint8_t* pixels, ChannelOrder order, uint8_t* fullStain);

// Every row, top to bottom, on the calling thread. Padding between rows is left as it is.
void RenderSceneRows(const SceneView& view, const PixelRows& rows);
