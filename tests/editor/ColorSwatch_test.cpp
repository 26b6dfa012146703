// The stain colour swatch painted into a memory DC of the test's own, and the
// system colour chooser opened from it: chosen colour, repaint, custom colours.
#include <gtest/gtest.h>

#include <cstdint>

#include "DialogDriver.h"

namespace {

constexpr int Width = 20, Height = 16;
constexpr uint32_t Background = 0x00336699;  // in the DIB's own order, 0x00RRGGBB
const RECT Item{2, 3, 14, 12};

// A 32-bit top-down DIB selected into a memory DC, filled with Background.
struct Canvas {
    HDC dc = CreateCompatibleDC(nullptr);
    uint32_t* pixels = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    Canvas() {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), Width, -Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&pixels), nullptr, 0);
        previous = SelectObject(dc, bitmap);
        SelectObject(dc, GetStockObject(BLACK_PEN));
        for (int i = 0; i < Width * Height; ++i) pixels[i] = Background;
    }
    ~Canvas() { SelectObject(dc, previous); DeleteObject(bitmap); DeleteDC(dc); }
    uint32_t At(int x, int y) const { return pixels[y * Width + x] & 0xFFFFFF; }
};

uint32_t DibOrder(uint8_t r, uint8_t g, uint8_t b) { return uint32_t(r) << 16 | uint32_t(g) << 8 | b; }

void SendDrawItem(HWND dialog, HDC dc, UINT state) {
    DRAWITEMSTRUCT item{ODT_BUTTON, 113, 0, ODA_DRAWENTIRE, state, GetDlgItem(dialog, 113), dc, Item, 0};
    SendMessageA(dialog, WM_DRAWITEM, 113, reinterpret_cast<LPARAM>(&item));
}

struct SwatchCase {
    const char* label;
    float stain[3];
    uint8_t packed[3];
};

const SwatchCase SwatchCases[] = {
    {"defaults", {120, 128, 128}, {120, 128, 128}},
    {"truncated, low 8 bits, no clamping", {255.9f, 300.0f, -1.0f}, {255, 44, 255}},
    {"negative and wide channels wrap", {-300.0f, 511.99f, 65537.0f}, {212, 255, 1}},
};

TEST(ColorSwatch, PaintsTheStainColourWithAOnePixelOutline) {
    for (const SwatchCase& c : SwatchCases) {
        ShaderParameters record = DefaultParameters;
        for (int i = 0; i < 3; ++i) record.StainColor[i] = c.stain[i];
        LoadRecord(record);
        Canvas canvas;
        HGDIOBJ brushBefore = GetCurrentObject(canvas.dc, OBJ_BRUSH);
        EditThroughExport(nullptr, [&](HWND dialog) {
            SendDrawItem(dialog, canvas.dc, 0);
            Press(dialog, IDCANCEL);
        });
        uint32_t fill = DibOrder(c.packed[0], c.packed[1], c.packed[2]);
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) {
                bool inside = x >= Item.left && x < Item.right && y >= Item.top && y < Item.bottom;
                bool edge = inside && (x == Item.left || x == Item.right - 1 || y == Item.top || y == Item.bottom - 1);
                uint32_t want = !inside ? Background : edge ? 0 : fill;
                ASSERT_EQ(canvas.At(x, y), want) << c.label << " at " << x << "," << y;
            }
        EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_BRUSH), brushBefore) << c.label << ": brush put back";
    }
}

TEST(ColorSwatch, PressedSwatchIsTheItemRectangleInverted) {
    Canvas canvas;
    for (int i = 0; i < Width * Height; ++i) canvas.pixels[i] = (i * 0x010305u) & 0xFFFFFF;
    std::vector<uint32_t> before(canvas.pixels, canvas.pixels + Width * Height);
    EditThroughExport(nullptr, [&](HWND dialog) {
        SendDrawItem(dialog, canvas.dc, ODS_SELECTED);
        Press(dialog, IDCANCEL);
    });
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            bool inside = x >= Item.left && x < Item.right && y >= Item.top && y < Item.bottom;
            uint32_t was = before[y * Width + x];
            ASSERT_EQ(canvas.At(x, y), inside ? (~was & 0xFFFFFF) : was) << x << "," << y;
        }
}

// --- The colour chooser ---------------------------------------------------

constexpr int ChooserRed = 706, ChooserGreen = 707, ChooserBlue = 708;
constexpr int ChooserAddCustom = 712, ChooserCustomColors = 721;

std::vector<int> ChooserRgb(HWND chooser) {
    return {std::atoi(ItemText(chooser, ChooserRed).c_str()), std::atoi(ItemText(chooser, ChooserGreen).c_str()),
            std::atoi(ItemText(chooser, ChooserBlue).c_str())};
}

void SetChooserRgb(HWND chooser, int r, int g, int b) {
    SetDlgItemInt(chooser, ChooserRed, r, FALSE);
    SetDlgItemInt(chooser, ChooserGreen, g, FALSE);
    SetDlgItemInt(chooser, ChooserBlue, b, FALSE);
}

// Clicks custom colour cell (column, row) of the chooser's 8 x 2 grid.
void ClickCustomColour(HWND chooser, int column, int row) {
    HWND grid = GetDlgItem(chooser, ChooserCustomColors);
    RECT rect;
    GetWindowRect(grid, &rect);
    MapWindowPoints(nullptr, chooser, reinterpret_cast<POINT*>(&rect), 2);
    int w = rect.right - rect.left, h = rect.bottom - rect.top;
    int x = rect.left + w * (2 * column + 1) / 16, y = rect.top + h * (2 * row + 1) / 4;
    SendMessageA(chooser, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(chooser, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// Counts WM_DRAWITEM for the swatch reaching the dialog's procedure.
std::atomic<int> SwatchPaints{0};
LRESULT CALLBACK CountSwatchPaints(int code, WPARAM w, LPARAM l) {
    auto* message = reinterpret_cast<CWPSTRUCT*>(l);
    if (code == HC_ACTION && message->message == WM_DRAWITEM && message->wParam == 113) ++SwatchPaints;
    return CallNextHookEx(nullptr, code, w, l);
}

TEST(ColorChooser, OpensOnTheStainColourAndAConfirmedColourGoesInAtOnce) {
    LoadRecord(DefaultParameters);
    std::vector<int> opened;
    int paintsAfterChoice = -1;
    HWND chooser = nullptr;
    char text[] = "# 1.00 1.00 1.00 0.50 0.20 120.00 128.00 128.00";
    EditOutcome out = EditThroughExport(text, [&](HWND dialog) {
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, CountSwatchPaints, nullptr,
                                       GetWindowThreadProcessId(dialog, nullptr));
        Press(dialog, 113);
        chooser = WaitForOwnWindow("Color");
        if (chooser) {
            opened = ChooserRgb(chooser);
            SetChooserRgb(chooser, 255, 0, 0);
            SwatchPaints = 0;
            PostMessageA(chooser, WM_COMMAND, IDOK, 0);
            WaitUntilGone(chooser);
            for (int i = 0; i < 200 && SwatchPaints == 0; ++i) Sleep(10);
            paintsAfterChoice = SwatchPaints;
        }
        UnhookWindowsHookEx(hook);
        Press(dialog, IDCANCEL);  // the chosen colour stays all the same
    });
    ASSERT_NE(chooser, nullptr) << "the colour chooser did not open";
    EXPECT_EQ(opened, (std::vector<int>{120, 128, 128}));
    EXPECT_GE(paintsAfterChoice, 1) << "swatch repainted";
    EXPECT_EQ(out.result, text) << "cancelled: the renderer keeps its text";
    std::vector<float> record = ProbeRecord();
    EXPECT_EQ(record[5], 255.0f);
    EXPECT_EQ(record[6], 0.0f);
    EXPECT_EQ(record[7], 0.0f);
}

TEST(ColorChooser, CancelledChooserChangesNothing) {
    LoadRecord(DefaultParameters);
    EditOutcome out = EditThroughExport(nullptr, [&](HWND dialog) {
        Press(dialog, 113);
        if (HWND chooser = WaitForOwnWindow("Color")) {
            SetChooserRgb(chooser, 1, 2, 3);
            PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
            WaitUntilGone(chooser);
        }
        Press(dialog, IDOK);
    });
    ASSERT_NE(out.result, nullptr);
    EXPECT_STREQ(out.result, "# 1.00 1.00 1.00 0.50 0.20 120.00 128.00 128.00");
    std::free(out.result);
}

TEST(ColorChooser, OffersTheGreyRampAndKeepsCustomColoursBetweenOpenings) {
    std::vector<int> first, second, kept;
    // First dialog: the ramp as the module starts, then a colour added.
    EditThroughExport(nullptr, [&](HWND dialog) {
        Press(dialog, 113);
        if (HWND chooser = WaitForOwnWindow("Color")) {
            ClickCustomColour(chooser, 0, 0);
            first = ChooserRgb(chooser);
            ClickCustomColour(chooser, 1, 0);
            second = ChooserRgb(chooser);
            SetChooserRgb(chooser, 10, 20, 30);
            SendMessageA(chooser, WM_COMMAND, ChooserAddCustom, 0);
            PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
            WaitUntilGone(chooser);
        }
        Press(dialog, IDCANCEL);
    });
    // A later dialog of the same module offers it again.
    EditThroughExport(nullptr, [&](HWND dialog) {
        Press(dialog, 113);
        if (HWND chooser = WaitForOwnWindow("Color")) {
            ClickCustomColour(chooser, 0, 0);
            kept = ChooserRgb(chooser);
            PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
            WaitUntilGone(chooser);
        }
        Press(dialog, IDCANCEL);
    });
    if (::testing::UnitTest::GetInstance()->test_to_run_count() != 1) GTEST_SKIP() << "needs a fresh module";
    EXPECT_EQ(first, (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(second, (std::vector<int>{239, 239, 239}));
    EXPECT_EQ(kept, (std::vector<int>{10, 20, 30}));
}

}  // namespace
