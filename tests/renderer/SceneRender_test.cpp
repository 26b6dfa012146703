// Renders small scenes through vesk.dll exactly as vesk-render does and
// checks the pixels against the stain rule worked out from our own samplers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "preview/StainPreview.h"
#include "renderer/InterfaceFloor.h"
#include "renderer/Samplers.h"
#include "renderer/SceneRender.h"

namespace {

const char* const DefaultText = "# 1.00 1.00 1.00 0.50 0.20 120.00 128.00 128.00";

class SceneRenderTest : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(LoadPluginModule("vesk.dll", plugin, error)) << error;
    }

    RenderedImage Render(const char* text, SceneKind scene, int threads, int width = 64, int height = 48) {
        plugin.Startup(0, 0, text);
        RenderSettings settings;
        settings.scene = scene;
        settings.width = width;
        settings.height = height;
        settings.threads = threads;
        return RenderScene(plugin, settings);
    }

    PluginModule plugin;
};

// The product the procedure compares with the Threshold, at the pixel's point (unit scales).
bool ProductAt(SceneKind scene, int x, int y, int width, int height, float& product) {
    SceneHit hit = TraceScene(scene, x, y, width, height);
    if (!hit.hit) return false;
    float u = static_cast<float>(hit.point[0] / 0.2), v = static_cast<float>(hit.point[1] / 0.2),
          w = static_cast<float>(hit.point[2] / 0.2);
    float a = 0.0f, b = 0.0f;
    SampleDensityNoise(u, u, u, &a);
    SampleSurfaceNoise(u, v, w, &b);
    product = static_cast<float>(static_cast<double>(a) * b);
    return true;
}

int VESK_CDECL LeaveUntouched(int, int, int, float, float, float, int, int, int, const uint32_t*, int, float*, int,
                              uint32_t*, const HostFunctionTable*) {
    return 1;
}

TEST_F(SceneRenderTest, SameArgumentsGiveSamePixelsForAnyThreadCount) {
    for (SceneKind scene : {SceneKind::Cube, SceneKind::Sphere, SceneKind::Plane}) {
        SCOPED_TRACE(static_cast<int>(scene));
        RenderedImage single = Render(DefaultText, scene, 1);
        RenderedImage again = Render(DefaultText, scene, 1);
        EXPECT_EQ(single.rgb, again.rgb);
        RenderedImage several = Render(DefaultText, scene, 3);
        EXPECT_EQ(single.rgb, several.rgb);
        EXPECT_EQ(single.mask, several.mask);
    }
}

TEST_F(SceneRenderTest, MaskIsWhereTheProductIsBelowTheThreshold) {
    struct Case {
        const char* text;
        float threshold;
    } cases[] = {
        {"# 1.00 1.00 1.00 0.30 0.20 120.00 128.00 128.00", 0.3f},
        {DefaultText, 0.5f},
        {"# 1.00 1.00 1.00 0.70 0.00 120.00 128.00 128.00", 0.7f},
    };
    const int width = 60, height = 45;
    for (SceneKind scene : {SceneKind::Cube, SceneKind::Sphere, SceneKind::Plane}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.text) + " scene " + std::to_string(static_cast<int>(scene)));
            RenderedImage image = Render(c.text, scene, 2, width, height);
            int stained = 0, clear = 0, mismatches = 0;
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    float product = 0.0f;
                    bool expected = ProductAt(scene, x, y, width, height, product) && product < c.threshold;
                    bool masked = image.mask[y * width + x] == 255;
                    if (expected != masked) ++mismatches;
                    (masked ? stained : clear)++;
                }
            }
            EXPECT_EQ(mismatches, 0);
            EXPECT_GT(stained, 0) << "no stain at all: the comparison shows nothing";
            EXPECT_GT(clear, 0);
        }
    }
}

TEST_F(SceneRenderTest, ThresholdBelowEveryProductLeavesTheSurfaceUntouched) {
    // Our samples are never negative, so no product falls below -1 or into a rim ending at -1.
    RenderedImage image = Render("# 1.00 1.00 1.00 -1.00 0.00 120.00 128.00 128.00", SceneKind::Cube, 2);
    PluginModule untouched = plugin;
    untouched.Procedure = LeaveUntouched;
    RenderSettings settings;
    settings.width = 64, settings.height = 48, settings.threads = 2;
    RenderedImage plain = RenderScene(untouched, settings);
    EXPECT_EQ(image.rgb, plain.rgb);
    EXPECT_EQ(std::count(image.mask.begin(), image.mask.end(), 255), 0);
}

// The bench's plain reading of the rule is a fair yardstick only if it shades
// as the plug-in does: same pixels, same full stain, on every scene.
TEST_F(SceneRenderTest, PlainRuleOfTheBenchShadesAsThePlugInDoes) {
    PluginModule plainRule = plugin;
    plainRule.Procedure = PlainRuleProcedure;
    for (SceneKind scene : {SceneKind::Cube, SceneKind::Sphere, SceneKind::Plane}) {
        SCOPED_TRACE(static_cast<int>(scene));
        RenderedImage through = Render(DefaultText, scene, 2);
        RenderSettings settings;
        settings.scene = scene, settings.width = 64, settings.height = 48, settings.threads = 2;
        RenderedImage plain = RenderScene(plainRule, settings);
        EXPECT_EQ(through.rgb, plain.rgb);
        EXPECT_EQ(through.mask, plain.mask);
        EXPECT_GT(std::count(plain.mask.begin(), plain.mask.end(), 255), 0);
    }
}

// One scene for both: vesk-render through vesk.dll's exports gives, pixel for
// pixel, the preview the plug-in renders with its own stain rule.
TEST_F(SceneRenderTest, DefaultsAtPreviewSizeAreThePortablePreview) {
    RenderedImage image = Render(DefaultText, SceneKind::Cube, 2, PreviewWidth, PreviewHeight);
    std::vector<uint8_t> preview(image.rgb.size());
    RenderStainPreview(DefaultParameters, {preview.data(), PreviewWidth * 3, ChannelOrder::Rgb});
    EXPECT_EQ(image.rgb, preview);
    EXPECT_GT(std::count(image.mask.begin(), image.mask.end(), 255), 0);
}

// The documented range: the defaults put a quarter to a half of a surface in the full stain.
TEST_F(SceneRenderTest, DefaultsStainAQuarterToAHalfOfTheSurface) {
    for (SceneKind scene : {SceneKind::Cube, SceneKind::Sphere, SceneKind::Plane}) {
        SCOPED_TRACE(static_cast<int>(scene));
        const int width = 120, height = 90;
        RenderedImage image = Render(DefaultText, scene, 2, width, height);
        int surface = 0, stained = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (!TraceScene(scene, x, y, width, height).hit) continue;
                ++surface;
                stained += image.mask[y * width + x] == 255;
            }
        }
        ASSERT_GT(surface, width * height / 5);
        double fraction = static_cast<double>(stained) / surface;
        EXPECT_GE(fraction, 0.25);
        EXPECT_LE(fraction, 0.5);
    }
}

}  // namespace
