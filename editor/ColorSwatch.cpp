#include <cmath>

#include "editor/ParameterEditor.h"

// A grey ramp from white down: channel 255 - 16 * i.
COLORREF CustomColors[16] = {
    0xFFFFFF, 0xEFEFEF, 0xDFDFDF, 0xCFCFCF, 0xBFBFBF, 0xAFAFAF, 0x9F9F9F, 0x8F8F8F,
    0x7F7F7F, 0x6F6F6F, 0x5F5F5F, 0x4F4F4F, 0x3F3F3F, 0x2F2F2F, 0x1F1F1F, 0x0F0F0F,
};

namespace {

// The low 8 bits of the channel truncated toward zero, as two's complement
// gives them (-1 is 255). From 2^31 on, a float's last place is 256 or more,
// so its low byte is 0; the comparison is quiet, and a NaN packs as 0 too.
BYTE LowByteOfChannel(float channel) {
    if (!(std::isgreater(channel, -2147483648.0f) && std::isless(channel, 2147483648.0f))) return 0;
    return static_cast<BYTE>(static_cast<int>(channel) & 0xFF);
}

}  // namespace

COLORREF PackStainColor(const float colour[3]) {
    return RGB(LowByteOfChannel(colour[0]), LowByteOfChannel(colour[1]), LowByteOfChannel(colour[2]));
}

void DrawColorSwatch(HDC dc, const RECT& item, UINT state, COLORREF colour) {
    // Held down: show the press and nothing else.
    if (state & ODS_SELECTED) {
        InvertRect(dc, &item);
        return;
    }
    // The brush lives only for this paint.
    HBRUSH brush = CreateSolidBrush(colour);
    HGDIOBJ previous = SelectObject(dc, brush);
    Rectangle(dc, item.left, item.top, item.right, item.bottom);  // one-pixel outline in the current pen
    SelectObject(dc, previous);
    DeleteObject(brush);
}

bool ChooseStainColor(float colour[3], HWND owner) {
    CHOOSECOLORA choice{};
    static_assert(sizeof choice == 36, "the 32-bit CHOOSECOLOR record");
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = owner;
    choice.rgbResult = PackStainColor(colour);
    choice.lpCustColors = CustomColors;  // the chooser reads and rewrites them
    choice.Flags = CC_RGBINIT | CC_FULLOPEN;
    choice.lCustData = 0;
    if (!ChooseColorA(&choice)) return false;
    colour[0] = GetRValue(choice.rgbResult);
    colour[1] = GetGValue(choice.rgbResult);
    colour[2] = GetBValue(choice.rgbResult);
    return true;
}
