// The dialog's live preview through _SetExternalParameters: the picture
// control's pixels, read with STM_GETIMAGE and GetDIBits, against the
// portable preview renderer, as the dialog opens, as entries change and a
// colour is picked; refused entries keep the last picture; no GDI object
// outlives the dialog.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <winternl.h>

#include "DialogDriver.h"
#include "params/ParameterText.h"
#include "preview/StainPreview.h"

namespace {

constexpr int PreviewId = 112, ThresholdId = 109, SwatchId = 113;

// Dialogs on a desktop of this process's own: see UseOwnDesktop.
class OwnDesktopEnvironment : public ::testing::Environment {
    void SetUp() override { ASSERT_TRUE(UseOwnDesktop()) << "error " << GetLastError(); }
};
const ::testing::Environment* const Desktop = ::testing::AddGlobalTestEnvironment(new OwnDesktopEnvironment);

// A 24-bit picture's bits as a bottom-up DIB holds them: 480-byte rows, no padding.
using Picture = std::vector<uint8_t>;
constexpr size_t PictureBytes = size_t(PreviewWidth) * 3 * PreviewHeight;

Picture ExpectedPicture(const ShaderParameters& record) {
    Picture bits(PictureBytes, 0xA5);
    RenderStainPreview(record, DibRows(bits.data(), PreviewWidth, PreviewHeight));
    return bits;
}

ShaderParameters RecordOf(const char* text) {
    ShaderParameters record = DefaultParameters;
    ReadParameterText(text, record);
    return record;
}

HBITMAP PictureHandle(HWND dialog) {
    return reinterpret_cast<HBITMAP>(SendDlgItemMessageA(dialog, PreviewId, STM_GETIMAGE, IMAGE_BITMAP, 0));
}

// The bitmap's pixels through GetDIBits as a bottom-up 24-bit DIB; empty
// unless it is a 160 x 120 bitmap.
Picture PixelsOf(HBITMAP bitmap) {
    BITMAP shape{};
    if (bitmap == nullptr || GetObjectA(bitmap, sizeof shape, &shape) != sizeof shape) return {};
    if (shape.bmWidth != PreviewWidth || shape.bmHeight != PreviewHeight) return {};
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), PreviewWidth, PreviewHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    Picture bits(PictureBytes);
    HDC screen = GetDC(nullptr);
    int rows = GetDIBits(screen, bitmap, 0, PreviewHeight, bits.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return rows == PreviewHeight ? bits : Picture{};
}

Picture PictureOf(HWND dialog) { return PixelsOf(PictureHandle(dialog)); }

// Pixels that differ, or -1 when a picture could not be read.
int DifferingPixels(const Picture& got, const Picture& want) {
    if (got.size() != PictureBytes || want.size() != PictureBytes) return -1;
    int differing = 0;
    for (size_t i = 0; i < PictureBytes; i += 3) differing += std::memcmp(&got[i], &want[i], 3) != 0;
    return differing;
}

// Polls until the picture control holds another bitmap than before.
HBITMAP WaitForNewPicture(HWND dialog, HBITMAP before) {
    for (int i = 0; i < 3000; ++i) {
        HBITMAP now = PictureHandle(dialog);
        if (now != before) return now;
        Sleep(10);
    }
    return before;
}

// --- The colour chooser ---------------------------------------------------

constexpr int ChooserRed = 706, ChooserGreen = 707, ChooserBlue = 708;

// Presses the swatch, sets the chooser to the colour and confirms it; true
// once the dialog has taken it.
bool PickColour(HWND dialog, int r, int g, int b) {
    Press(dialog, SwatchId);
    HWND chooser = WaitForOwnWindow("Color");
    if (!chooser) return false;
    SetDlgItemInt(chooser, ChooserRed, r, FALSE);
    SetDlgItemInt(chooser, ChooserGreen, g, FALSE);
    SetDlgItemInt(chooser, ChooserBlue, b, FALSE);
    PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    if (!WaitUntilGone(chooser)) return false;
    // Answered once the dialog's thread is back in its own loop, the press handled.
    DWORD_PTR ignored;
    return SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored) != 0;
}

ShaderParameters WithStain(ShaderParameters record, float r, float g, float b) {
    record.StainColor[0] = r, record.StainColor[1] = g, record.StainColor[2] = b;
    return record;
}

TEST(LivePreview, OpensOnThePreviewOfTheRenderersTextInA24BitDibSection) {
    // Not the defaults, and a Threshold with more decimals than the field shows: the record itself is drawn.
    char text[] = "# 1.60 0.70 1.20 0.625 0.05 40.00 200.00 90.00";
    Picture opened;
    DIBSECTION section{};
    int sectionBytes = 0;
    EditThroughExport(text, [&](HWND dialog) {
        HBITMAP bitmap = PictureHandle(dialog);
        sectionBytes = GetObjectA(bitmap, sizeof section, &section);
        opened = PixelsOf(bitmap);
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(sectionBytes, int(sizeof section)) << "a DIB section";
    EXPECT_EQ(section.dsBm.bmBitsPixel, 24);
    EXPECT_EQ(section.dsBmih.biWidth, PreviewWidth);
    EXPECT_EQ(std::abs(section.dsBmih.biHeight), PreviewHeight);
    EXPECT_EQ(DifferingPixels(opened, ExpectedPicture(RecordOf(text))), 0);
    ShaderParameters rounded = RecordOf(text);
    rounded.Threshold = 0.63f;
    EXPECT_GT(DifferingPixels(opened, ExpectedPicture(rounded)), 0) << "the field's 0.63 drawn, not the record's 0.625";
    EXPECT_GT(DifferingPixels(opened, ExpectedPicture(DefaultParameters)), 0) << "the defaults drawn";
}

TEST(LivePreview, DefaultsPreviewIsBitmapTwo) {
    LoadRecord(DefaultParameters);
    Picture opened;
    EditThroughExport(nullptr, [&](HWND dialog) {
        opened = PictureOf(dialog);
        Press(dialog, IDCANCEL);
    });
    HBITMAP resource = static_cast<HBITMAP>(
        LoadImageA(VeskModule(), MAKEINTRESOURCEA(2), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(resource, nullptr) << "bitmap 2";
    Picture stored = PixelsOf(resource);
    DeleteObject(resource);
    EXPECT_EQ(DifferingPixels(opened, stored), 0);
}

// Each prefix of the typed Threshold with the value OK would store for it.
struct TypedStep {
    const char* text;
    float threshold;
};

TEST(LivePreview, FollowsTheThresholdAsItIsTypedAndLeavesTheRecordUntilOk) {
    char text[] = "# 1.00 1.00 1.00 0.30 0.20 120.00 128.00 128.00";
    const TypedStep steps[] = {{"0", 0.0f}, {"0.", 0.0f}, {"0.7", 0.7f}};
    std::vector<std::string> shown;
    std::vector<Picture> pictures;
    EditThroughExport(text, [&](HWND dialog) {
        HWND edit = GetDlgItem(dialog, ThresholdId);
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);  // focus, all selected
        for (const TypedStep& step : steps) {
            // Typed: the character replaces the selection, then goes after what is there.
            SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(step.text[std::strlen(step.text) - 1]), 1);
            shown.push_back(ItemText(dialog, ThresholdId));
            pictures.push_back(PictureOf(dialog));
        }
        Press(dialog, IDCANCEL);
    });
    ASSERT_EQ(pictures.size(), std::size(steps));
    for (size_t i = 0; i < std::size(steps); ++i) {
        EXPECT_EQ(shown[i], steps[i].text);
        ShaderParameters typed = RecordOf(text);
        typed.Threshold = steps[i].threshold;
        EXPECT_EQ(DifferingPixels(pictures[i], ExpectedPicture(typed)), 0) << "after typing " << steps[i].text;
    }
    EXPECT_GT(DifferingPixels(pictures.back(), ExpectedPicture(RecordOf(text))), 0) << "0.7 looks like 0.3";
    EXPECT_RECORD_NEAR(ProbeRecord(), Fields(RecordOf(text)), "cancelled after typing");
}

TEST(LivePreview, ConfirmedColourRedrawsWithTheFieldsAsTheyStand) {
    LoadRecord(DefaultParameters);
    Picture picked;
    bool chosen = false;
    EditThroughExport(nullptr, [&](HWND dialog) {
        SetField(dialog, 101, "2.5");  // typed, not yet stored
        HBITMAP before = PictureHandle(dialog);
        chosen = PickColour(dialog, 30, 160, 220);
        picked = PixelsOf(WaitForNewPicture(dialog, before));
        Press(dialog, IDCANCEL);
    });
    ASSERT_TRUE(chosen) << "the colour chooser did not open or close";
    ShaderParameters expected = WithStain(DefaultParameters, 30, 160, 220);
    expected.XScale = 2.5f;
    EXPECT_EQ(DifferingPixels(picked, ExpectedPicture(expected)), 0);
    // Cancelled: the scale typed is gone, the colour chosen stays, as without the preview.
    EXPECT_RECORD_NEAR(ProbeRecord(), Fields(WithStain(DefaultParameters, 30, 160, 220)), "after cancel");
}

// Entries OK refuses, each typed after a good Threshold, then mended.
struct RefusedCase {
    const char* label;
    int id;
    const char* entry;
    const char* mended;
    int field;
    float mendedValue;
};

const RefusedCase RefusedCases[] = {
    {"empty threshold", 109, "", "0.4", 3, 0.4f},
    {"letters in a scale", 101, "abc", "3", 0, 3.0f},
    {"zero Z scale", 103, "0", "0.5", 2, 0.5f},
    {"negative zero Y scale", 102, "-0", "-2", 1, -2.0f},
    {"sharpness beyond the float range", 121, "1e39", "0", 4, 0.0f},
    {"spaces in a scale", 102, "   ", "1.5", 1, 1.5f},
};

TEST(LivePreview, RefusedEntryKeepsTheLastGoodPictureUntilMended) {
    for (const RefusedCase& c : RefusedCases) {
        LoadRecord(DefaultParameters);
        Picture good, refused, mended;
        HBITMAP goodHandle = nullptr, refusedHandle = nullptr;
        EditThroughExport(nullptr, [&](HWND dialog) {
            SetField(dialog, ThresholdId, "0.65");
            goodHandle = PictureHandle(dialog);
            good = PixelsOf(goodHandle);
            SetField(dialog, c.id, c.entry);
            refusedHandle = PictureHandle(dialog);
            refused = PixelsOf(refusedHandle);
            SetField(dialog, c.id, c.mended);
            mended = PictureOf(dialog);
            Press(dialog, IDCANCEL);
        });
        ShaderParameters lastGood = DefaultParameters;
        lastGood.Threshold = 0.65f;
        EXPECT_EQ(DifferingPixels(good, ExpectedPicture(lastGood)), 0) << c.label;
        EXPECT_EQ(refusedHandle, goodHandle) << c.label << ": the picture was replaced";
        EXPECT_EQ(DifferingPixels(refused, good), 0) << c.label;
        ShaderParameters whole = lastGood;
        ParameterField(whole, c.field) = c.mendedValue;
        EXPECT_EQ(DifferingPixels(mended, ExpectedPicture(whole)), 0) << c.label << ", mended";
    }
}

TEST(LivePreview, ColourPickedWhileAnEntryIsRefusedShowsOnceItIsMended) {
    LoadRecord(DefaultParameters);
    Picture whileRefused, mended;
    bool chosen = false;
    EditThroughExport(nullptr, [&](HWND dialog) {
        SetField(dialog, ThresholdId, "");
        Picture before = PictureOf(dialog);
        chosen = PickColour(dialog, 250, 20, 200);
        whileRefused = PictureOf(dialog);
        SetField(dialog, ThresholdId, "0.55");
        mended = PictureOf(dialog);
        Press(dialog, IDCANCEL);
        if (DifferingPixels(whileRefused, before) != 0) whileRefused.clear();
    });
    ASSERT_TRUE(chosen);
    EXPECT_EQ(DifferingPixels(whileRefused, ExpectedPicture(DefaultParameters)), 0) << "kept while refused";
    ShaderParameters expected = WithStain(DefaultParameters, 250, 20, 200);
    expected.Threshold = 0.55f;
    EXPECT_EQ(DifferingPixels(mended, ExpectedPicture(expected)), 0);
}

// --- GDI objects ----------------------------------------------------------

// Every bitmap given to the picture control and every one it handed back,
// seen as the dialog's thread (this one) returns from STM_SETIMAGE.
std::vector<HGDIOBJ> PictureImages;
LRESULT CALLBACK RecordPictureImages(int code, WPARAM w, LPARAM l) {
    auto* message = reinterpret_cast<CWPRETSTRUCT*>(l);
    if (code == HC_ACTION && message->message == STM_SETIMAGE && GetDlgCtrlID(message->hwnd) == PreviewId) {
        if (message->lParam) PictureImages.push_back(reinterpret_cast<HGDIOBJ>(message->lParam));
        if (message->lResult) PictureImages.push_back(reinterpret_cast<HGDIOBJ>(message->lResult));
    }
    return CallNextHookEx(nullptr, code, w, l);
}

// This process's live GDI objects. Windows counts them for GetGuiResources;
// Wine answers 0 there, but keeps the handle table in the process, where the
// PEB points (GdiSharedHandleTable, at 0x94 in a 32-bit PEB): 65536 entries
// of 24 bytes, the type byte at 14 non-zero while the object lives. Left out
// there: Wine's cache of window DCs, each a DC (type 1) with a region (4) and
// a companion (5), which it keeps for reuse and fills up to its limit as
// windows come and go, whoever's code runs.
// (GCC 12 takes the fs-relative read in NtCurrentTeb for an array access.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
DWORD LiveGdiObjects() {
    DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (counted != 0) return counted;
    if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) return 0;
    const BYTE* peb = reinterpret_cast<const BYTE*>(NtCurrentTeb()->ProcessEnvironmentBlock);
    const BYTE* table = *reinterpret_cast<const BYTE* const*>(peb + 0x94);
    if (table == nullptr) return 0;
    DWORD live = 0;
    for (size_t i = 0; i < 0x10000; ++i) {
        BYTE type = table[i * 24 + 14];
        live += type != 0 && type != 1 && type != 4 && type != 5;
    }
    return live;
}
#pragma GCC diagnostic pop

// Opens the dialog, makes `updates` picture updates, shows and closes the
// help popup, and cancels. Counts the updates seen, and the GDI objects
// alive while the dialog is open.
struct DialogWork {
    int updates = 0;
    bool helpShown = false;
    DWORD objectsWhileOpen = 0;
};

DialogWork WorkTheDialog(int updates) {
    DialogWork work;
    EditThroughExport(nullptr, [&](HWND dialog) {
        char entry[16];
        for (int i = 0; i < updates; ++i) {
            std::snprintf(entry, sizeof entry, "0.%02d", 30 + i % 50);
            HBITMAP previous = PictureHandle(dialog);
            SetField(dialog, ThresholdId, entry);
            work.updates += PictureHandle(dialog) != previous;
        }
        work.objectsWhileOpen = LiveGdiObjects();
        // The help popup paints with the dialog's font: it must leave nothing either.
        HWND edit = GetDlgItem(dialog, ThresholdId);
        HELPINFO help{sizeof help, HELPINFO_WINDOW, ThresholdId, edit, 0, {0, 0}};
        SendMessageA(edit, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
        if (HWND popup = FindOwnWindow("VeskContextHelp", nullptr)) {
            UpdateWindow(popup);
            PostMessageA(popup, WM_KEYDOWN, VK_SPACE, 1);
            work.helpShown = WaitUntilGone(popup);
        }
        Press(dialog, IDCANCEL);
    });
    return work;
}

TEST(LivePreview, NoGdiObjectOutlivesTheDialogAfterTwoHundredUpdates) {
    LoadRecord(DefaultParameters);
    // The count must see one object come and go, or its equality below says nothing.
    DWORD empty = LiveGdiObjects();
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    DWORD withBrush = LiveGdiObjects();
    DeleteObject(brush);
    ASSERT_EQ(withBrush, empty + 1) << "cannot count this process's GDI objects";
    ASSERT_EQ(LiveGdiObjects(), empty);
    // Once before counting: the first dialog of a process makes fonts and
    // system colour brushes (the popup's among them) that the process keeps.
    WorkTheDialog(1);
    DWORD before = LiveGdiObjects();
    PictureImages.clear();
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, RecordPictureImages, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    DialogWork work = WorkTheDialog(200);
    UnhookWindowsHookEx(hook);
    DWORD after = LiveGdiObjects();
    std::printf("GDI objects: %lu before, %lu with the dialog open, %lu after; %zu picture handles seen\n",
                static_cast<unsigned long>(before), static_cast<unsigned long>(work.objectsWhileOpen),
                static_cast<unsigned long>(after), PictureImages.size());
    EXPECT_EQ(work.updates, 200);
    EXPECT_TRUE(work.helpShown);
    EXPECT_EQ(after, before);
    // Every picture the control held, bitmap 2 as the template loaded it among them, is deleted.
    ASSERT_GE(PictureImages.size(), 2u * 200);
    int alive = 0;
    for (HGDIOBJ image : PictureImages) alive += GetObjectType(image) != 0;
    EXPECT_EQ(alive, 0);
}

}  // namespace
