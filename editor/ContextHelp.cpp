#include "editor/ParameterEditor.h"
#include "host/ModuleEntry.h"

namespace {

// --- The texts ------------------------------------------------------------

const char XScaleHelp[] =
    "X Scale: the size of the blotches from left to right. Useful from about 0.2 to 5; raising it stretches "
    "them wider, and 0 is not accepted.";
const char YScaleHelp[] =
    "Y Scale: the size of the blotches from front to back. Useful from about 0.2 to 5; raising it stretches "
    "them deeper, and 0 is not accepted.";
const char ZScaleHelp[] =
    "Z Scale: the size of the blotches from top to bottom. Useful from about 0.2 to 5; raising it stretches "
    "them taller, and 0 is not accepted.";
const char ThresholdHelp[] =
    "Threshold: where the pattern falls below it, the surface takes the full stain. Useful from 0 to 1; "
    "raising it stains more of the surface, so the blotches grow and merge.";
const char SharpnessHelp[] =
    "Sharpness: the width of the soft rim above the Threshold, where the stain fades out. Useful from 0 to 1; "
    "0 gives hard edges, and raising it widens the fading rim around each blotch.";
const char ColorHelp[] =
    "Stain colour: the colour the stains pull the surface toward. Press it to pick another; the preview "
    "shows it at once.";
const char PreviewHelp[] =
    "Preview: a cube stained with the values OK would store now, redrawn as you type or pick a colour. "
    "While an entry is not valid, it keeps the last good picture.";
const char OkHelp[] =
    "OK: stores these values and closes. An entry that is empty, not a number, written with a decimal comma, "
    "or a scale of 0 is refused: OK beeps and selects it.";
const char CancelHelp[] = "Cancel: closes and leaves the renderer's settings as they were.";

// Each control with its text; a label explains the control it names.
struct ControlHelp {
    int id;
    const char* text;
};

constexpr ControlHelp ControlHelps[] = {
    {IDC_XSCALE, XScaleHelp},       {IDC_XSCALE_LABEL, XScaleHelp},
    {IDC_YSCALE, YScaleHelp},       {IDC_YSCALE_LABEL, YScaleHelp},
    {IDC_ZSCALE, ZScaleHelp},       {IDC_ZSCALE_LABEL, ZScaleHelp},
    {IDC_THRESHOLD, ThresholdHelp}, {IDC_THRESHOLD_LABEL, ThresholdHelp},
    {IDC_SHARPNESS, SharpnessHelp}, {IDC_SHARPNESS_LABEL, SharpnessHelp},
    {IDC_COLOR_SWATCH, ColorHelp},  {IDC_COLOR_LABEL, ColorHelp},
    {IDC_PREVIEW, PreviewHelp},     {IDOK, OkHelp},
    {IDCANCEL, CancelHelp},
};

const char* HelpTextOf(int id) {
    for (const ControlHelp& help : ControlHelps)
        if (help.id == id) return help.text;
    return nullptr;
}

// --- The popup ------------------------------------------------------------

const char PopupClassName[] = "VeskContextHelp";

// The one popup of the one dialog, and what it paints. The font is the
// dialog's, which outlives the popup (the popup is owned by the dialog).
struct HelpPopup {
    HWND window;
    const char* text;
    HFONT font;
    RECT textArea;  // in the popup's client area
    bool classRegistered;
};

HelpPopup Popup{};

constexpr UINT TextFormat = DT_LEFT | DT_WORDBREAK | DT_NOPREFIX;

// Destroying the popup takes its activation away, whose handler comes back
// here: by then the record no longer names it.
void ClosePopup() {
    HWND window = Popup.window;
    Popup.window = nullptr;
    if (window != nullptr) DestroyWindow(window);
}

void PaintPopup(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SetBkMode(dc, TRANSPARENT);  // the class brush has painted the tooltip colour
    SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
    HGDIOBJ previous = SelectObject(dc, Popup.font);
    RECT area = Popup.textArea;
    DrawTextA(dc, Popup.text, -1, &area, TextFormat);
    SelectObject(dc, previous);
    EndPaint(window, &paint);
}

LRESULT CALLBACK HelpPopupProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
    case WM_PAINT:
        if (window == Popup.window) {
            PaintPopup(window);
            return 0;
        }
        break;
    // Any click (the popup holds the mouse, so a click anywhere comes here) or key closes it.
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (window == Popup.window) ClosePopup();
        return 0;
    // So does another window taking the activation. Losing the mouse alone
    // does not: the system's "?" mode may let it go after asking for help.
    case WM_ACTIVATE:
        if (LOWORD(first) == WA_INACTIVE && window == Popup.window) {
            ClosePopup();
            return 0;
        }
        break;  // activated: the default takes the keyboard focus
    case WM_NCDESTROY:
        if (window == Popup.window) Popup.window = nullptr;  // destroyed with its owner
        break;
    }
    return DefWindowProcA(window, message, first, second);
}

bool RegisterPopupClass() {
    if (Popup.classRegistered) return true;
    WNDCLASSA popupClass{};
    popupClass.style = CS_SAVEBITS;
    popupClass.lpfnWndProc = HelpPopupProc;
    popupClass.hInstance = ModuleInstance;
    popupClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    popupClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_INFOBK + 1);
    popupClass.lpszClassName = PopupClassName;
    Popup.classRegistered = RegisterClassA(&popupClass) != 0;
    return Popup.classRegistered;
}

// Keeps [start, start + size) within [low, high) where it fits, else starts at low.
int Clamp(int start, int size, int low, int high) {
    if (start + size > high) start = high - size;
    return start < low ? low : start;
}

// Below the control, centred on it within the dialog's width; above it when
// the screen has no room below.
POINT PopupPlace(HWND dialog, HWND control, SIZE size) {
    RECT dialogRect, controlRect;
    GetWindowRect(dialog, &dialogRect);
    GetWindowRect(control, &controlRect);
    int gap = GetSystemMetrics(SM_CYBORDER) * 2;
    int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    POINT place;
    place.x = Clamp((controlRect.left + controlRect.right - size.cx) / 2, size.cx, dialogRect.left, dialogRect.right);
    place.x = Clamp(place.x, size.cx, 0, screenWidth);
    place.y = controlRect.bottom + gap;
    if (place.y + size.cy > screenHeight) place.y = controlRect.top - gap - size.cy;
    if (place.y < 0) place.y = 0;
    return place;
}

}  // namespace

void ShowContextHelp(HWND dialog, const HELPINFO& request) {
    ClosePopup();
    if (request.iContextType != HELPINFO_WINDOW) return;
    const char* text = HelpTextOf(request.iCtrlId);
    HWND control = GetDlgItem(dialog, request.iCtrlId);
    // Help asked in the colour chooser comes up to its owner, with the chooser's own ids.
    if (text == nullptr || control == nullptr || control != request.hItemHandle || !RegisterPopupClass()) return;

    // Created hidden, measured, then placed and shown.
    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, PopupClassName, text, WS_POPUP | WS_BORDER, 0, 0, 0, 0, dialog,
                                  nullptr, ModuleInstance, nullptr);
    if (window == nullptr) return;
    Popup.window = window;
    Popup.text = text;
    Popup.font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));

    // Margins and the widest line in dialog units, so they follow the dialog's font.
    RECT layout{4, 3, 150, 0};
    MapDialogRect(dialog, &layout);
    RECT textBounds{0, 0, layout.right, 0};
    HDC dc = GetDC(window);
    HGDIOBJ previous = SelectObject(dc, Popup.font);
    DrawTextA(dc, text, -1, &textBounds, TextFormat | DT_CALCRECT);
    SelectObject(dc, previous);
    ReleaseDC(window, dc);
    Popup.textArea = {layout.left, layout.top, layout.left + textBounds.right, layout.top + textBounds.bottom};

    SIZE size{textBounds.right + 2 * (layout.left + GetSystemMetrics(SM_CXBORDER)),
              textBounds.bottom + 2 * (layout.top + GetSystemMetrics(SM_CYBORDER))};
    POINT place = PopupPlace(dialog, control, size);
    SetWindowPos(window, nullptr, place.x, place.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    // Active, so keys come here; holding the mouse, so every click does.
    ShowWindow(window, SW_SHOW);
    if (Popup.window == window) SetCapture(window);
}

void EndContextHelp() {
    ClosePopup();
    if (Popup.classRegistered) Popup.classRegistered = !UnregisterClassA(PopupClassName, ModuleInstance);
}
