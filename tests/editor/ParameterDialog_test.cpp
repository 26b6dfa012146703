// The parameter dialog end to end through _SetExternalParameters: fields as
// they open, what OK and Cancel store, refused entries, the window's place,
// and the renderer's allocator calls.
#include <gtest/gtest.h>

#include <cstring>

#include "DialogDriver.h"

namespace {

bool IsFreshModule() { return ::testing::UnitTest::GetInstance()->test_to_run_count() == 1; }

TEST(ParameterDialog, OpensWithTheDefaultsAndOkHandsBackTheirText) {
    if (!IsFreshModule()) GTEST_SKIP() << "needs a fresh module";
    EditOutcome out = EditThroughExport(nullptr, [](HWND dialog) { Press(dialog, IDOK); });
    ASSERT_TRUE(out.dialogSeen);
    EXPECT_EQ(out.opened, (std::vector<std::string>{"1.00", "1.00", "1.00", "0.50", "0.20"}));
    ASSERT_NE(out.result, nullptr);
    EXPECT_STREQ(out.result, "# 1.00 1.00 1.00 0.50 0.20 120.00 128.00 128.00");
    ASSERT_EQ(out.log.allocateSizes, std::vector<size_t>{48});
    EXPECT_EQ(out.log.allocated[0], out.result);
    EXPECT_TRUE(out.log.released.empty());
}

TEST(ParameterDialog, NullTextAndCancelReturnsNullWithoutTheAllocator) {
    EditOutcome out = EditThroughExport(nullptr, [](HWND dialog) { Press(dialog, IDCANCEL); });
    ASSERT_TRUE(out.dialogSeen);
    EXPECT_EQ(out.result, nullptr);
    EXPECT_TRUE(out.log.allocateSizes.empty());
    EXPECT_TRUE(out.log.released.empty());
}

TEST(ParameterDialog, TextAndOkReleasesExactlyThatTextOnceAfterAllocating) {
    char text[] = "# 2.00 3.00 4.00 0.25 0.10 10.00 20.00 30.00";
    EditOutcome out = EditThroughExport(text, [](HWND dialog) { Press(dialog, IDOK); });
    EXPECT_EQ(out.opened, (std::vector<std::string>{"2.00", "3.00", "4.00", "0.25", "0.10"}));
    ASSERT_NE(out.result, nullptr);
    EXPECT_STREQ(out.result, text);
    EXPECT_EQ(out.log.allocateSizes, std::vector<size_t>{std::strlen(text) + 1});
    EXPECT_EQ(out.log.released, std::vector<void*>{text});
    EXPECT_NE(out.result, text);
}

TEST(ParameterDialog, TextAndCancelReturnsThatPointerAndKeepsTheTextsValues) {
    char text[] = "# 2.00 3.00 4.00 0.25 0.10 10.00 20.00 30.00";
    EditOutcome out = EditThroughExport(text, [](HWND dialog) {
        SetField(dialog, 101, "7");
        SetField(dialog, 109, "0.9");
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(out.result, text);
    EXPECT_TRUE(out.log.allocateSizes.empty());
    EXPECT_TRUE(out.log.released.empty());
    EXPECT_RECORD_NEAR(ProbeRecord(), (std::vector<float>{2, 3, 4, 0.25f, 0.1f, 10, 20, 30}), "after cancel");
}

TEST(ParameterDialog, TextWithoutTheMarkIsReadFromItsSecondCharacter) {
    char text[] = "11.5 2";
    EditOutcome out = EditThroughExport(text, [](HWND dialog) { Press(dialog, IDCANCEL); });
    ASSERT_GE(out.opened.size(), 2u);
    EXPECT_EQ(out.opened[0], "1.50");
    EXPECT_EQ(out.opened[1], "2.00");
}

// Entries typed into one field, then OK: what the record holds afterwards.
struct EntryCase {
    const char* label;
    int id;
    int field;
    const char* entry;
    float stored;
};

const EntryCase EntryCases[] = {
    {"eleven characters are read whole", 109, 3, "0.123456789", 0.123456789f},
    {"twelve digits are read whole", 101, 0, "123456789012", 123456789012.0f},
    {"atof stops at letters", 102, 1, "  2.5abc", 2.5f},
    {"exponent", 103, 2, "1.5e3", 1500.0f},
    {"negative threshold", 109, 3, "-0.25", -0.25f},
    {"zero threshold is valid", 109, 3, "0", 0.0f},
    {"zero sharpness is valid", 121, 4, "0.00", 0.0f},
    {"a second number is ignored", 101, 0, "2 3", 2.0f},
    {"a comma before a space ends the number", 101, 0, "2, 5", 2.0f},
    {"a trailing comma ends the number", 109, 3, "0.35,", 0.35f},
    {"a comma after letters is not a decimal comma", 102, 1, "2.5e,5", 2.5f},
};

TEST(ParameterDialog, OkStoresEachEntryAsAtofReadsIt) {
    for (const EntryCase& c : EntryCases) {
        LoadRecord(DefaultParameters);
        EditOutcome out = EditThroughExport(nullptr, [&](HWND dialog) {
            SetField(dialog, c.id, c.entry);
            Press(dialog, IDOK);
        });
        ASSERT_NE(out.result, nullptr) << c.label;
        std::vector<float> expected = Fields(DefaultParameters);
        expected[c.field] = c.stored;
        // The five edited fields: with a threshold of 0 or less no product
        // reaches the full stain, so the probe cannot see the colour there.
        std::vector<float> got = ProbeRecord();
        for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(got[i], expected[i]) << c.label << ", field " << i;
        std::free(out.result);
    }
}

// Entries OK must refuse: the dialog stays open, the field gets the focus
// with its text selected, and the record is not touched.
struct RefusedCase {
    const char* label;
    int id;
    const char* entry;
};

const RefusedCase RefusedCases[] = {
    {"empty X scale", 101, ""},
    {"zero Y scale", 102, "0"},
    {"Z scale that reads as zero", 103, "0.00"},
    {"negative zero scale", 101, "-0"},
    {"letters in a scale", 102, "abc"},
    {"empty threshold", 109, ""},
    {"threshold not a number", 109, "x0.5"},
    {"sharpness of spaces", 121, "   "},
    {"beyond the float range", 121, "1e39"},
    {"scale beyond the float range", 103, "-4e38"},
    {"decimal comma in the threshold", 109, "0,35"},
    {"decimal comma in a scale", 101, "1,5"},
    {"decimal comma after spaces and a sign", 121, "  -0,2"},
    {"comma after an exponent", 102, "1e2,5"},
    {"comma after a fraction", 103, "2.5,75"},
};

TEST(ParameterDialog, OkRefusesEmptyNonNumberAndZeroScaleEntries) {
    for (const RefusedCase& c : RefusedCases) {
        ShaderParameters before{2.0f, 3.0f, 4.0f, 0.25f, 0.125f, {10, 20, 30}};
        LoadRecord(before);
        bool stayedOpen = false, focused = false;
        DWORD selection = 0;
        EditOutcome out = EditThroughExport(nullptr, [&](HWND dialog) {
            // Another field is edited too: a refusal must store none of them.
            SetField(dialog, c.id == 101 ? 102 : 101, "9");
            SetField(dialog, c.id, c.entry);
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            stayedOpen = IsWindowVisible(dialog) != FALSE;
            HWND edit = GetDlgItem(dialog, c.id);
            // The focus belongs to the dialog's thread.
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
            focused = info.hwndFocus == edit;
            selection = static_cast<DWORD>(SendMessageA(edit, EM_GETSEL, 0, 0));
            Press(dialog, IDCANCEL);
        });
        EXPECT_TRUE(stayedOpen) << c.label;
        EXPECT_TRUE(focused) << c.label;
        EXPECT_EQ(LOWORD(selection), 0) << c.label;
        EXPECT_EQ(HIWORD(selection), std::strlen(c.entry)) << c.label;
        EXPECT_EQ(out.result, nullptr) << c.label;
        EXPECT_RECORD_NEAR(ProbeRecord(), Fields(before), c.label);
    }
}

TEST(ParameterDialog, UntouchedFieldsOnlyLoseWhatTwoDecimalsCannotHold) {
    struct Case {
        const char* label;
        ShaderParameters record;
        ShaderParameters stored;
    } cases[] = {
        {"more decimals are rounded", {1.0f, 1.0f, 1.0f, 0.333f, 0.2f, {120, 128, 128}},
         {1.0f, 1.0f, 1.0f, 0.33f, 0.2f, {120, 128, 128}}},
        {"huge scale survives", {1e20f, -3e15f, 12345678.0f, 0.5f, 0.2f, {1, 2, 3}},
         {1e20f, -3e15f, 12345678.0f, 0.5f, 0.2f, {1, 2, 3}}},
        {"largest float survives", {FLT_MAX, -FLT_MAX, 1.0f, 1e30f, 3e30f, {1, 2, 3}},
         {FLT_MAX, -FLT_MAX, 1.0f, 1e30f, 3e30f, {1, 2, 3}}},
    };
    for (const Case& c : cases) {
        LoadRecord(c.record);
        EditOutcome out = EditThroughExport(nullptr, [](HWND dialog) { Press(dialog, IDOK); });
        ASSERT_NE(out.result, nullptr) << c.label;
        ASSERT_EQ(out.opened.size(), 5u);
        // Shown in full: the text reads back to the same float.
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(std::strtof(out.opened[i].c_str(), nullptr), ParameterField(c.stored, i))
                << c.label << " field " << i << " shown as " << out.opened[i];
        EXPECT_RECORD_NEAR(ProbeRecord(), Fields(c.stored), c.label);
        std::free(out.result);
    }
}

TEST(ParameterDialog, EditsAcceptTwelveCharacters) {
    int limit = 0;
    EditOutcome out = EditThroughExport(nullptr, [&](HWND dialog) {
        limit = static_cast<int>(SendDlgItemMessageA(dialog, 121, EM_GETLIMITTEXT, 0, 0));
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(limit, 12);
}

TEST(ParameterDialog, WindowEndsCentredOnThePrimaryScreen) {
    EditOutcome out = EditThroughExport(nullptr, [](HWND dialog) { Press(dialog, IDCANCEL); });
    ASSERT_TRUE(out.dialogSeen);
    int w = out.window.right - out.window.left, h = out.window.bottom - out.window.top;
    EXPECT_EQ(out.window.left, (GetSystemMetrics(SM_CXSCREEN) - w) / 2);
    EXPECT_EQ(out.window.top, (GetSystemMetrics(SM_CYSCREEN) - h) / 2);
}

TEST(ParameterDialog, OutOfMemoryKeepsTheRenderersTextAndSaysSo) {
    char text[] = "# 2.00 3.00 4.00 0.25 0.10 10.00 20.00 30.00";
    for (char* incoming : {text, static_cast<char*>(nullptr)}) {
        std::string boxText;
        bool boxHasIcon = false;
        // The same helper answers the message box once the dialog has closed.
        EditOutcome out = EditThroughExport(incoming, [&](HWND dialog) {
            Press(dialog, IDOK);
            HWND box = WaitForOwnWindow("Error", std::chrono::seconds(120));
            if (!box) return;
            boxText = ItemText(box, 0xFFFF);
            HWND icon = GetDlgItem(box, 0x0440);
            boxHasIcon = icon && SendMessageA(icon, STM_GETICON, 0, 0) != 0;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }, true);
        const char* label = incoming ? "text in" : "null in";
        EXPECT_EQ(boxText, "External shader: Out of memory") << label;
        EXPECT_TRUE(boxHasIcon) << label;
        EXPECT_EQ(out.result, incoming) << label;
        EXPECT_EQ(out.log.allocateSizes.size(), 1u) << label;
        EXPECT_TRUE(out.log.released.empty()) << label;
    }
}

TEST(ParameterDialog, DialogThatCannotBeCreatedCountsAsCancelled) {
    char text[] = "# 2.00 3.00 4.00 0.25 0.10 10.00 20.00 30.00";
    AllocatorLog log;
    driver_detail::Log = &log;
    // An owner that is no window: the dialog cannot be created.
    HWND bogus = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7FFF0000));
    ASSERT_FALSE(IsWindow(bogus));
    char* result = Exports().setParameters(text, bogus, &driver_detail::Memory);
    EXPECT_EQ(result, text);
    EXPECT_TRUE(log.allocateSizes.empty());
    EXPECT_TRUE(log.released.empty());
}

}  // namespace
