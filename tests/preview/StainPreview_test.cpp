// The dialog's preview: the defaults' picture is resources/preview.bmp, a
// record changes only the pixels the stain rule reaches, and the pixels land
// where the caller's row order, stride and channel order put them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "preview/StainPreview.h"
#include "scene/NoiseSamplers.h"

namespace {

constexpr ptrdiff_t RowBytes = PreviewWidth * 3;  // 480: a DIB row needs no padding
constexpr size_t PictureBytes = static_cast<size_t>(RowBytes) * PreviewHeight;

std::vector<uint8_t> ReadWholeFile(const char* path) {
    std::vector<uint8_t> bytes;
    if (FILE* file = std::fopen(path, "rb")) {
        uint8_t block[4096];
        for (size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;)
            bytes.insert(bytes.end(), block, block + got);
        std::fclose(file);
    }
    return bytes;
}

uint32_t LittleEndian(const std::vector<uint8_t>& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[at + i];
    return value;
}

// Top row first, red first, rows back to back.
std::vector<uint8_t> RenderRgb(const ShaderParameters& parameters) {
    std::vector<uint8_t> rgb(PictureBytes);
    RenderStainPreview(parameters, {rgb.data(), RowBytes, ChannelOrder::Rgb});
    return rgb;
}

// The preview's scene with the surface left as it is: what no stain looks like.
std::vector<uint8_t> RenderUntouched() {
    std::vector<uint8_t> rgb(PictureBytes);
    const SceneView view{SceneKind::Cube,         PreviewWidth,
                         PreviewHeight,           DefaultSurfaceColour,
                         DefaultBackgroundColour, [](const void*, const float*, float*) { return false; },
                         nullptr};
    RenderSceneRows(view, {rgb.data(), RowBytes, ChannelOrder::Rgb});
    return rgb;
}

// Whether the stain rule reaches the pixel at all (full stain or rim), worked
// out from the scene and the samplers: the product below T + S.
bool ReachedByStain(const ShaderParameters& p, int x, int y) {
    SceneHit hit = TraceScene(SceneKind::Cube, x, y, PreviewWidth, PreviewHeight);
    if (!hit.hit) return false;
    float u = static_cast<float>(hit.point[0] / (0.2 * p.XScale)),
          v = static_cast<float>(hit.point[1] / (0.2 * p.YScale)),
          w = static_cast<float>(hit.point[2] / (0.2 * p.ZScale));
    float a = 0.0f, b = 0.0f;
    SampleDensityNoise(u, u, u, &a);
    SampleSurfaceNoise(u, v, w, &b);
    return a * b < static_cast<double>(p.Threshold) + p.Sharpness;
}

ShaderParameters WithStain(ShaderParameters p, float red, float green, float blue) {
    p.StainColor[0] = red, p.StainColor[1] = green, p.StainColor[2] = blue;
    return p;
}

TEST(StainPreview, DefaultsArePreviewBmpPixelForPixel) {
    std::vector<uint8_t> file = ReadWholeFile(VESK_PREVIEW_BMP);
    ASSERT_EQ(file.size(), 54 + PictureBytes) << VESK_PREVIEW_BMP;
    ASSERT_EQ(std::string(file.begin(), file.begin() + 2), "BM");
    ASSERT_EQ(LittleEndian(file, 10, 4), 54u) << "pixels right after the 54-byte header";
    ASSERT_EQ(LittleEndian(file, 18, 4), static_cast<uint32_t>(PreviewWidth));
    ASSERT_EQ(LittleEndian(file, 22, 4), static_cast<uint32_t>(PreviewHeight)) << "positive: rows bottom-up";
    ASSERT_EQ(LittleEndian(file, 28, 2), 24u);

    // Rendered as the dialog will render it: straight into a DIB's bits.
    std::vector<uint8_t> bits(PictureBytes, 0xA5);
    RenderStainPreview(DefaultParameters, DibRows(bits.data(), PreviewWidth, PreviewHeight));
    std::vector<uint8_t> stored(file.begin() + 54, file.end());
    int differing = 0;
    for (size_t i = 0; i < PictureBytes; i += 3) differing += std::memcmp(&bits[i], &stored[i], 3) != 0;
    EXPECT_EQ(differing, 0) << "pixels that differ from resources/preview.bmp";
}

TEST(StainPreview, RecordsThatStainNothingLeaveTheSurfaceUntouched) {
    std::vector<uint8_t> untouched = RenderUntouched();
    ASSERT_NE(RenderRgb(DefaultParameters), untouched) << "the defaults must stain, or this shows nothing";
    ShaderParameters below = DefaultParameters, zeroX = DefaultParameters, zeroZ = DefaultParameters,
                     allZero = DefaultParameters;
    // The noise samplers are never negative, so no product reaches a stain or rim ending at -1.
    below.Threshold = -1.0f, below.Sharpness = 0.0f;
    zeroX.XScale = 0.0f;
    zeroZ.ZScale = 0.0f;
    allZero.XScale = allZero.YScale = allZero.ZScale = 0.0f;
    const struct {
        const char* label;
        ShaderParameters record;
    } cases[] = {
        {"threshold below every product, no rim", below},
        {"zero X scale", zeroX},
        {"zero Z scale", zeroZ},
        {"all scales zero", allZero},
    };
    for (const auto& c : cases) EXPECT_EQ(RenderRgb(c.record), untouched) << c.label;
}

TEST(StainPreview, StainColourChangesOnlyThePixelsTheRuleReaches) {
    ShaderParameters noRim = DefaultParameters, larger = DefaultParameters;
    noRim.Threshold = 0.3f, noRim.Sharpness = 0.0f;
    larger.XScale = larger.YScale = larger.ZScale = 2.0f;
    const struct {
        const char* label;
        ShaderParameters record;
    } cases[] = {
        {"defaults", DefaultParameters},
        {"threshold 0.3, no rim", noRim},
        {"scales 2", larger},
    };
    std::vector<uint8_t> untouched = RenderUntouched();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<uint8_t> grey = RenderRgb(c.record);
        std::vector<uint8_t> purple = RenderRgb(WithStain(c.record, 250.0f, 20.0f, 200.0f));
        int reached = 0, changed = 0, changedElsewhere = 0;
        for (int y = 0; y < PreviewHeight; ++y) {
            for (int x = 0; x < PreviewWidth; ++x) {
                size_t at = (static_cast<size_t>(y) * PreviewWidth + x) * 3;
                bool differs = std::memcmp(&grey[at], &purple[at], 3) != 0;
                if (ReachedByStain(c.record, x, y)) {
                    ++reached;
                    changed += differs;
                } else {
                    changedElsewhere += differs || std::memcmp(&grey[at], &untouched[at], 3) != 0;
                }
            }
        }
        EXPECT_EQ(changedElsewhere, 0) << "pixels beyond the stain and its rim that changed";
        ASSERT_GT(reached, PreviewWidth * PreviewHeight / 20);
        // Only rim pixels with a weight too small to show keep their bytes.
        EXPECT_GT(changed, reached * 9 / 10) << changed << " of " << reached << " reached pixels changed";
    }
}

TEST(StainPreview, PixelsFollowTheRowOrderStrideAndChannelOrder) {
    std::vector<uint8_t> reference = RenderRgb(DefaultParameters);
    // A corner is background: red first in the reference, so the orders below are checked against it.
    EXPECT_EQ((std::vector<uint8_t>(reference.begin(), reference.begin() + 3)),
              (std::vector<uint8_t>{40, 70, 150}));
    const struct {
        const char* label;
        bool bottomUp;
        ptrdiff_t rowBytes;
        ChannelOrder order;
    } layouts[] = {
        {"a DIB: bottom-up, blue first, no padding", true, RowBytes, ChannelOrder::Bgr},
        {"bottom-up, blue first, padded rows", true, RowBytes + 8, ChannelOrder::Bgr},
        {"top-down, red first, padded rows", false, RowBytes + 4, ChannelOrder::Rgb},
        {"top-down, blue first", false, RowBytes, ChannelOrder::Bgr},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.label);
        // Exactly the rows' bytes, so a write beyond them is caught by the address sanitizer.
        std::vector<uint8_t> buffer(static_cast<size_t>(layout.rowBytes) * PreviewHeight, 0xA5);
        PixelRows rows{buffer.data(), layout.rowBytes, layout.order};
        if (layout.bottomUp)
            rows = {buffer.data() + (PreviewHeight - 1) * layout.rowBytes, -layout.rowBytes, layout.order};
        RenderStainPreview(DefaultParameters, rows);

        int wrongPixels = 0, paddingWritten = 0;
        for (int y = 0; y < PreviewHeight; ++y) {
            const uint8_t* row = buffer.data() + (layout.bottomUp ? PreviewHeight - 1 - y : y) * layout.rowBytes;
            for (int x = 0; x < PreviewWidth; ++x) {
                const uint8_t* want = &reference[(static_cast<size_t>(y) * PreviewWidth + x) * 3];
                const uint8_t* got = row + x * 3;
                bool bgr = layout.order == ChannelOrder::Bgr;
                wrongPixels += got[0] != want[bgr ? 2 : 0] || got[1] != want[1] || got[2] != want[bgr ? 0 : 2];
            }
            for (ptrdiff_t i = RowBytes; i < layout.rowBytes; ++i) paddingWritten += row[i] != 0xA5;
        }
        EXPECT_EQ(wrongPixels, 0);
        EXPECT_EQ(paddingWritten, 0) << "bytes of the row padding that were written";
    }
}

}  // namespace
