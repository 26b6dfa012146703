#include <xmmintrin.h>

#include <cstdint>

#include "editor/ParameterEditor.h"
#include "preview/StainPreview.h"

namespace {

// The renderer may run with floating-point traps unmasked, and the preview's
// noise takes whatever coordinate a record scales a point to: beyond 2^31 it
// cannot be made an integer without raising "invalid". So the traps are
// masked while the preview renders, and the renderer's state, its flags
// included, is put back afterwards, in both units.
struct FloatingPointState {
    unsigned int sse;
    unsigned char x87[28];  // the 32-bit protected-mode environment
};

FloatingPointState MaskFloatingPointTraps() {
    FloatingPointState saved;
    saved.sse = _mm_getcsr();
    _mm_setcsr(saved.sse | 0x1F80u);                       // every SSE exception masked
    __asm__ volatile("fnstenv %0" : "=m"(saved.x87));  // stores, then masks every x87 exception
    return saved;
}

void RestoreFloatingPointState(const FloatingPointState& saved) {
    __asm__ volatile("fldenv %0" : : "m"(saved.x87));
    _mm_setcsr(saved.sse);
}

// A bottom-up 24-bit DIB section holding the record's preview, or null when
// GDI cannot make one. The bits are written before GDI ever draws the bitmap,
// so nothing needs flushing.
HBITMAP RenderPreviewBitmap(const ShaderParameters& record) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = PreviewWidth;
    info.bmiHeader.biHeight = PreviewHeight;  // positive: rows bottom-up, as DibRows writes them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (picture == nullptr || bits == nullptr) {
        if (picture != nullptr) DeleteObject(picture);
        return nullptr;
    }
    FloatingPointState renderers = MaskFloatingPointTraps();
    RenderStainPreview(record, DibRows(static_cast<uint8_t*>(bits), PreviewWidth, PreviewHeight));
    RestoreFloatingPointState(renderers);
    return picture;
}

// Puts the image into the picture control and returns the one it held. The
// control never deletes an image it is given: the caller owns both.
HGDIOBJ SetPicture(HWND dialog, HBITMAP image) {
    return reinterpret_cast<HGDIOBJ>(
        SendDlgItemMessageA(dialog, IDC_PREVIEW, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image)));
}

}  // namespace

void ShowStainPreview(HWND dialog, const ShaderParameters& record) {
    HBITMAP picture = RenderPreviewBitmap(record);
    if (picture == nullptr) return;
    // The first replacement returns the template's bitmap 2, which the control loaded for us.
    HGDIOBJ previous = SetPicture(dialog, picture);
    if (previous != nullptr && previous != picture) DeleteObject(previous);
    // A control that refused the picture leaves it to us.
    if (SendDlgItemMessageA(dialog, IDC_PREVIEW, STM_GETIMAGE, IMAGE_BITMAP, 0) != reinterpret_cast<LRESULT>(picture))
        DeleteObject(picture);
}

void ReleaseStainPreview(HWND dialog) {
    HGDIOBJ last = SetPicture(dialog, nullptr);
    if (last != nullptr) DeleteObject(last);
}
