// Context help in the parameter dialog through _SetExternalParameters:
// WM_HELP as the "?" button's click sends it, and F1 on the focused control,
// show a popup beside the control with its text; any click or key closes it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DialogDriver.h"

namespace {

constexpr const char* PopupClass = "VeskContextHelp";

// Dialogs on a desktop of this process's own: see UseOwnDesktop.
class OwnDesktopEnvironment : public ::testing::Environment {
    void SetUp() override { ASSERT_TRUE(UseOwnDesktop()) << "error " << GetLastError(); }
};
const ::testing::Environment* const Desktop = ::testing::AddGlobalTestEnvironment(new OwnDesktopEnvironment);

struct HelpCase {
    const char* label;
    int id;
    const char* opening;  // how the popup's text begins; null: no popup
    bool takesFocus;      // F1 can reach it
};

const HelpCase HelpCases[] = {
    {"X scale", 101, "X Scale:", true},
    {"Y scale", 102, "Y Scale:", true},
    {"Z scale", 103, "Z Scale:", true},
    {"threshold", 109, "Threshold:", true},
    {"sharpness", 121, "Sharpness:", true},
    {"colour swatch", 113, "Stain colour:", true},
    {"preview picture", 112, "Preview:", false},
    {"OK", IDOK, "OK:", true},
    {"Cancel", IDCANCEL, "Cancel:", true},
    {"threshold's label", 110, "Threshold:", false},
    {"colour's label", 120, "Stain colour:", false},
    {"about frame", 114, nullptr, false},
};

struct PopupSeen {
    bool shown = false;
    std::string text;
    RECT rect{};
    RECT control{};
    bool holdsMouse = false;  // so a click anywhere reaches it
    bool active = false;      // and has the keyboard, so a key reaches it
    bool closed = false;
    bool dialogStillOpen = false;
    bool focusBack = false;  // the control that had the focus has it again
};

GUITHREADINFO GuiOf(HWND dialog) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    return info;
}

HWND WaitForPopup() {
    for (int i = 0; i < 500; ++i) {
        HWND popup = FindOwnWindow(PopupClass, nullptr);
        if (popup && IsWindowVisible(popup)) return popup;
        Sleep(10);
    }
    return nullptr;
}

// Reads the popup that the request opened, then closes it by posting `close`
// to it, as a click or a key anywhere would reach it.
PopupSeen ReadAndClosePopup(HWND dialog, HWND control, UINT close, WPARAM closeFirst) {
    PopupSeen seen;
    HWND popup = WaitForPopup();
    if (!popup) return seen;
    seen.shown = true;
    char text[512] = "";
    GetWindowTextA(popup, text, sizeof text);
    seen.text = text;
    GetWindowRect(popup, &seen.rect);
    GetWindowRect(control, &seen.control);
    GUITHREADINFO gui = GuiOf(dialog);
    seen.holdsMouse = gui.hwndCapture == popup;
    seen.active = gui.hwndActive == popup && gui.hwndFocus == popup;
    PostMessageA(popup, close, closeFirst, close == WM_KEYDOWN ? 1 : MAKELPARAM(-50, -50));
    seen.closed = WaitUntilGone(popup, std::chrono::seconds(10));
    seen.dialogStillOpen = IsWindowVisible(dialog) != FALSE;
    seen.focusBack = GuiOf(dialog).hwndFocus == control;
    return seen;
}

void ExpectPopupFor(const HelpCase& c, const PopupSeen& seen, const char* how) {
    SCOPED_TRACE(std::string(c.label) + " by " + how);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.text.rfind(c.opening, 0), 0u) << seen.text;
    // Beside the control: just below or above it, overlapping it across.
    bool below = seen.rect.top >= seen.control.bottom && seen.rect.top <= seen.control.bottom + 8;
    bool above = seen.rect.bottom <= seen.control.top && seen.rect.bottom >= seen.control.top - 8;
    EXPECT_TRUE(below || above);
    EXPECT_TRUE(seen.rect.left < seen.control.right && seen.rect.right > seen.control.left);
    EXPECT_TRUE(seen.holdsMouse);
    EXPECT_TRUE(seen.active);
    EXPECT_TRUE(seen.closed);
    EXPECT_TRUE(seen.dialogStillOpen);
}

TEST(ContextHelp, HelpRequestOnEachControlShowsItsTextBesideItAndAClickClosesIt) {
    std::vector<PopupSeen> seen(std::size(HelpCases));
    std::vector<std::string> closing;
    EditOutcome out = EditThroughExport(nullptr, [&](HWND dialog) {
        for (size_t i = 0; i < std::size(HelpCases); ++i) {
            const HelpCase& c = HelpCases[i];
            HWND control = GetDlgItem(dialog, c.id);
            RECT rect;
            GetWindowRect(control, &rect);
            // What the control receives when the "?" button is followed by a click on it.
            HELPINFO info{sizeof info, HELPINFO_WINDOW, c.id, control, 0,
                          {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}};
            SendMessageA(control, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
            if (!c.opening) {
                seen[i].shown = FindOwnWindow(PopupClass, nullptr) != nullptr;
                continue;
            }
            // Left, right and middle clicks in turn.
            const UINT clicks[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
            seen[i] = ReadAndClosePopup(dialog, control, clicks[i % 3], 0);
        }
        Press(dialog, IDCANCEL);
    });
    ASSERT_TRUE(out.dialogSeen);
    std::vector<std::string> texts;
    for (size_t i = 0; i < std::size(HelpCases); ++i) {
        const HelpCase& c = HelpCases[i];
        if (!c.opening) {
            EXPECT_FALSE(seen[i].shown) << c.label << " has no help";
            continue;
        }
        ExpectPopupFor(c, seen[i], "WM_HELP");
        texts.push_back(seen[i].text);
    }
    // One or two sentences each.
    for (const std::string& text : texts) {
        int sentences = 0;
        for (size_t at = 0; (at = text.find(". ", at)) != std::string::npos; ++at) ++sentences;
        EXPECT_LE(sentences + 1, 2) << text;
        EXPECT_TRUE(!text.empty() && text.back() == '.') << text;
    }
}

TEST(ContextHelp, F1OnTheFocusedControlShowsItsTextAndAKeyClosesItKeepingTheFocus) {
    std::vector<PopupSeen> seen(std::size(HelpCases));
    std::vector<bool> focused(std::size(HelpCases));
    EditThroughExport(nullptr, [&](HWND dialog) {
        for (size_t i = 0; i < std::size(HelpCases); ++i) {
            const HelpCase& c = HelpCases[i];
            if (!c.takesFocus) continue;
            HWND control = GetDlgItem(dialog, c.id);
            SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
            focused[i] = GuiOf(dialog).hwndFocus == control;
            // The system turns the F1 key into WM_KEYF1 for the focused window, which passes WM_HELP up.
            PostMessageA(control, 0x004D /* WM_KEYF1 */, 0, 0);
            // Escape, Enter and Space close the popup, and must not reach the dialog.
            const WPARAM keys[] = {VK_ESCAPE, VK_RETURN, VK_SPACE};
            seen[i] = ReadAndClosePopup(dialog, control, WM_KEYDOWN, keys[i % 3]);
        }
        Press(dialog, IDCANCEL);
    });
    for (size_t i = 0; i < std::size(HelpCases); ++i) {
        const HelpCase& c = HelpCases[i];
        if (!c.takesFocus) continue;
        EXPECT_TRUE(focused[i]) << c.label;
        ExpectPopupFor(c, seen[i], "F1");
        EXPECT_TRUE(seen[i].focusBack) << c.label;
    }
}

TEST(ContextHelp, HelpAskedInTheColourChooserShowsNoNoteOfTheDialogs) {
    bool chooserSeen = false, popupSeen = true;
    EditThroughExport(nullptr, [&](HWND dialog) {
        Press(dialog, 113);
        HWND chooser = WaitForOwnWindow("Color");
        if (!chooser) return;
        chooserSeen = true;
        // The chooser's OK has the dialog's OK's id; its request comes up to the dialog.
        HWND ok = GetDlgItem(chooser, IDOK);
        HELPINFO info{sizeof info, HELPINFO_WINDOW, IDOK, ok, 0, {0, 0}};
        SendMessageA(ok, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        popupSeen = FindOwnWindow(PopupClass, nullptr) != nullptr;
        PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
        WaitUntilGone(chooser);
        Press(dialog, IDCANCEL);
    });
    ASSERT_TRUE(chooserSeen);
    EXPECT_FALSE(popupSeen);
}

TEST(ContextHelp, PopupGoesWithTheDialogAndItsClassIsReleased) {
    bool shown = false;
    EditOutcome out = EditThroughExport(nullptr, [&](HWND dialog) {
        HWND control = GetDlgItem(dialog, 109);
        HELPINFO info{sizeof info, HELPINFO_WINDOW, 109, control, 0, {0, 0}};
        SendMessageA(control, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        shown = WaitForPopup() != nullptr;
        Press(dialog, IDCANCEL);  // the popup still open
    });
    EXPECT_TRUE(shown);
    EXPECT_EQ(out.result, nullptr) << "cancelled";
    EXPECT_EQ(FindOwnWindow(PopupClass, nullptr), nullptr);
    WNDCLASSA registered{};
    EXPECT_FALSE(GetClassInfoA(VeskModule(), PopupClass, &registered)) << "class still registered";
    // A second dialog registers it again and shows help as before.
    bool shownAgain = false;
    EditThroughExport(nullptr, [&](HWND dialog) {
        HWND control = GetDlgItem(dialog, IDOK);
        HELPINFO info{sizeof info, HELPINFO_WINDOW, IDOK, control, 0, {0, 0}};
        SendMessageA(control, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        shownAgain = WaitForPopup() != nullptr;
        Press(dialog, IDCANCEL);
    });
    EXPECT_TRUE(shownAgain);
}

}  // namespace
