// Native cost of one 160 x 120 preview of the stain rule: what the dialog
// will pay for each change of a field, on one core. The same source vesk.dll
// links, built with the same floating-point flags (64-bit here, so a stand-in
// for the DLL's figure). Build and run: scripts/bench-preview.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "preview/StainPreview.h"

int main() {
    std::vector<uint8_t> bits(PreviewWidth * 3 * PreviewHeight);
    constexpr int Renders = 200;
    std::vector<double> milliseconds;
    for (int i = 0; i < Renders; ++i) {
        auto start = std::chrono::steady_clock::now();
        RenderStainPreview(DefaultParameters, DibRows(bits.data(), PreviewWidth, PreviewHeight));
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        milliseconds.push_back(took.count());
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    std::printf("native, one %d x %d preview of the defaults: best %.2f ms, median %.2f ms, slowest %.2f ms"
                " (%d renders)\n",
                PreviewWidth, PreviewHeight, milliseconds.front(), milliseconds[Renders / 2], milliseconds.back(),
                Renders);
    return 0;
}
