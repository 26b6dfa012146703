// The dialog template as built into vesk.dll, read back from the resource
// and held against the table of the dialog's controls.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/ParameterProbe.h"

namespace {

// Reads a dialog template front to back.
struct TemplateReader {
    const BYTE* p;
    WORD Word() { WORD w; std::memcpy(&w, p, 2); p += 2; return w; }
    DWORD Dword() { DWORD d; std::memcpy(&d, p, 4); p += 4; return d; }
    short Short() { return static_cast<short>(Word()); }
    void AlignDword(const BYTE* base) { while ((p - base) % 4) ++p; }
    // A string, or "#n" for an ordinal.
    std::string StringOrOrdinal() {
        WORD first = Word();
        if (first == 0xFFFF) {
            char ordinal[8];
            std::snprintf(ordinal, sizeof ordinal, "#%u", unsigned(Word()));
            return ordinal;
        }
        std::vector<char> out;
        for (WORD c = first; c != 0; c = Word()) out.push_back(static_cast<char>(c));
        return std::string(out.begin(), out.end());
    }
};

// Class names as the resource compiler may store them: ordinal or name.
std::string ClassName(const std::string& stored) {
    if (stored == "#128") return "BUTTON";
    if (stored == "#129") return "EDIT";
    if (stored == "#130") return "STATIC";
    std::string upper;
    for (char c : stored) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

struct Control {
    DWORD id;
    std::string className;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    const char* text;  // null: any text but an empty one
};

constexpr DWORD Child = WS_CHILD | WS_VISIBLE;
constexpr DWORD Edit = Child | ES_LEFT | WS_BORDER | WS_TABSTOP;  // no ES_AUTOHSCROLL
constexpr DWORD PushButton = Child | BS_PUSHBUTTON | BS_CENTER | WS_TABSTOP;  // not BS_DEFPUSHBUTTON
constexpr DWORD Label = Child | SS_LEFT;

// Template order, which is also the tab order.
const Control Expected[] = {
    {101, "EDIT", Edit, 0, 204, 8, 40, 12, ""},
    {102, "EDIT", Edit, 0, 204, 28, 40, 12, ""},
    {103, "EDIT", Edit, 0, 204, 48, 40, 12, ""},
    {109, "EDIT", Edit, 0, 204, 72, 40, 12, ""},
    {121, "EDIT", Edit, 0, 204, 96, 40, 12, ""},
    {113, "BUTTON", Child | BS_OWNERDRAW | WS_TABSTOP, 0, 204, 116, 40, 12, "Button3"},
    {1, "BUTTON", PushButton, 0, 204, 140, 44, 14, "OK"},
    {2, "BUTTON", PushButton, 0, 152, 140, 44, 14, "Cancel"},
    {104, "STATIC", Label, 0, 132, 12, 52, 8, "X Scale [L/R]"},
    {105, "STATIC", Label, 0, 132, 32, 48, 8, "Y Scale [F/B]"},
    {106, "STATIC", Label, 0, 132, 52, 52, 8, "Z Scale [U/D] "},
    {110, "STATIC", Label, 0, 132, 76, 72, 8, "Vesk threshold [0.0-1.0]"},
    {114, "STATIC", Child | SS_ETCHEDFRAME, 0, 4, 88, 120, 64, "Frame1"},
    {115, "STATIC", Label, 0, 8, 92, 48, 8, "Vesk 0.15"},
    {116, "STATIC", Label, 0, 8, 100, 112, 16, nullptr},  // the maker's texts: any
    {117, "STATIC", Label, 0, 8, 116, 76, 8, nullptr},
    {118, "STATIC", Label, 0, 8, 124, 112, 8, nullptr},
    {120, "STATIC", Child | SS_CENTER, 0, 132, 120, 36, 8, "Vesk Color"},
    {122, "STATIC", Label, 0, 132, 100, 64, 8, "Sharpeness[0.0-1.0]"},
    {112, "STATIC", Child | SS_BITMAP | SS_SUNKEN, 0, 8, 8, 93, 81, "#2"},
};

const BYTE* ResourceData(LPCSTR type, int id, DWORD* size = nullptr) {
    HMODULE dll = VeskModule();
    HRSRC found = FindResourceA(dll, MAKEINTRESOURCEA(id), type);
    if (!found) return nullptr;
    if (size) *size = SizeofResource(dll, found);
    return static_cast<const BYTE*>(LockResource(LoadResource(dll, found)));
}

TEST(DialogTemplate, MatchesTheControlTable) {
    const BYTE* base = ResourceData(MAKEINTRESOURCEA(5) /* RT_DIALOG */, 1);
    ASSERT_NE(base, nullptr) << "dialog template 1";
    TemplateReader r{base};
    EXPECT_EQ(r.Word(), 1) << "extended template version";
    EXPECT_EQ(r.Word(), 0xFFFF) << "extended template signature";
    r.Dword();  // help id
    DWORD exStyle = r.Dword();
    DWORD style = r.Dword();
    WORD count = r.Word();
    short x = r.Short(), y = r.Short(), cx = r.Short(), cy = r.Short();
    EXPECT_EQ(style, DWORD(WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_3DLOOK | DS_CENTER |
                           DS_CONTEXTHELP | DS_SETFONT));
    EXPECT_EQ(style & WS_SYSMENU, 0u) << "no system menu";
    EXPECT_EQ(exStyle, DWORD(WS_EX_CONTEXTHELP | WS_EX_DLGMODALFRAME));
    EXPECT_EQ((std::vector<short>{x, y, cx, cy}), (std::vector<short>{1, 3, 253, 159}));
    EXPECT_EQ(r.StringOrOrdinal(), "") << "menu";
    EXPECT_EQ(r.StringOrOrdinal(), "") << "class";
    EXPECT_EQ(r.StringOrOrdinal(), "Vesk 0.15 ") << "caption";
    EXPECT_EQ(r.Word(), 9) << "point size";
    EXPECT_EQ(r.Word(), 400) << "weight";
    EXPECT_EQ(*r.p++, 0) << "italic";
    r.p++;  // character set
    EXPECT_EQ(r.StringOrOrdinal(), "MS Sans Serif");

    ASSERT_EQ(count, std::size(Expected));
    for (const Control& want : Expected) {
        r.AlignDword(base);
        r.Dword();  // help id
        Control got{};
        got.exStyle = r.Dword();
        got.style = r.Dword();
        got.x = r.Short(); got.y = r.Short(); got.cx = r.Short(); got.cy = r.Short();
        got.id = r.Dword();
        got.className = ClassName(r.StringOrOrdinal());
        std::string text = r.StringOrOrdinal();
        r.p += r.Word();  // creation data
        char label[16];
        std::snprintf(label, sizeof label, "control %lu", static_cast<unsigned long>(want.id));
        EXPECT_EQ(got.id, want.id) << "template order";
        EXPECT_EQ(got.className, want.className) << label;
        EXPECT_EQ(got.style, want.style) << label << std::hex << " style 0x" << got.style;
        EXPECT_EQ(got.exStyle, want.exStyle) << label;
        EXPECT_EQ((std::vector<short>{got.x, got.y, got.cx, got.cy}),
                  (std::vector<short>{want.x, want.y, want.cx, want.cy}))
            << label;
        if (want.text) EXPECT_EQ(text, want.text) << label;
        else EXPECT_FALSE(text.empty()) << label;
    }
}

TEST(DialogTemplate, PreviewIsA160By120TrueColourBitmap) {
    DWORD size = 0;
    const BYTE* data = ResourceData(MAKEINTRESOURCEA(2) /* RT_BITMAP */, 2, &size);
    ASSERT_NE(data, nullptr) << "bitmap 2";
    ASSERT_GE(size, sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, data, sizeof header);
    EXPECT_EQ(header.biWidth, 160);
    EXPECT_EQ(std::abs(header.biHeight), 120);
    EXPECT_EQ(header.biBitCount, 24);
}

}  // namespace
