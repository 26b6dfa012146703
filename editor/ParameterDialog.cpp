#include "editor/ParameterEditor.h"
#include "params/DecimalText.h"
#include "params/ParameterText.h"

namespace {

// The five edits in field order, with the record field each one edits.
struct FieldEdit {
    int id;
    float ShaderParameters::*field;
    bool zeroAllowed;  // a zero scale would divide the pattern by zero
};

constexpr FieldEdit FieldEdits[] = {
    {IDC_XSCALE, &ShaderParameters::XScale, false},
    {IDC_YSCALE, &ShaderParameters::YScale, false},
    {IDC_ZSCALE, &ShaderParameters::ZScale, false},
    {IDC_THRESHOLD, &ShaderParameters::Threshold, true},
    {IDC_SHARPNESS, &ShaderParameters::Sharpness, true},
};

// Room for any float's two-decimal text and for anything the edit lets the
// user type.
constexpr int FieldTextCapacity = 64;
static_assert(FieldTextCapacity > TwoDecimalsLength, "every float is shown in full");

// "%.2f" with "." whatever the locale.
void ShowField(HWND dialog, int id, float value) {
    char text[FieldTextCapacity];
    *WriteTwoDecimals(text, value) = '\0';
    SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, FIELD_TEXT_LIMIT, 0);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Just past the number that begins the text (after white space), by the
// parameter text's syntax: a sign, digits with an optional fraction, and an
// exponent only when digits follow its 'e'.
const char* NumberEnd(const char* p) {
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    if (*p == '+' || *p == '-') ++p;
    while (IsDigit(*p)) ++p;
    if (*p == '.')
        for (++p; IsDigit(*p);) ++p;
    if (*p == 'e' || *p == 'E') {
        const char* e = p + 1;
        if (*e == '+' || *e == '-') ++e;
        if (IsDigit(*e)) {
            while (IsDigit(*e)) ++e;
            p = e;
        }
    }
    return p;
}

// Reads the edit's whole text as atof would, with "." as the decimal point.
// False when it holds no number, one beyond the float range, or one followed
// at once by a comma and a digit.
bool ReadField(HWND dialog, int id, float& value) {
    // The parameter text's own scanner reads the number: it skips one mark first.
    char text[FieldTextCapacity + 1] = "#";
    HWND edit = GetDlgItem(dialog, id);
    if (GetWindowTextLengthA(edit) >= FieldTextCapacity) return false;  // longer than any float's text
    GetWindowTextA(edit, text + 1, FieldTextCapacity);
    ShaderParameters scratch{};
    if (ReadParameterText(text, scratch) < 1) return false;  // atof takes the first number only
    // A decimal comma: atof would store the 0 of "0,35" and switch the stain off.
    const char* end = NumberEnd(text + 1);
    if (end[0] == ',' && IsDigit(end[1])) return false;
    value = scratch.XScale;
    return true;
}

// Shows the user which field is refused: beep, focus, whole text selected.
void RefuseField(HWND dialog, int id) {
    MessageBeep(MB_OK);
    HWND edit = GetDlgItem(dialog, id);
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
    SendMessageA(edit, EM_SETSEL, 0, -1);
}

BOOL OnInitDialog(HWND dialog) {
    for (const FieldEdit& edit : FieldEdits) ShowField(dialog, edit.id, ModuleParameters.*edit.field);
    CenterOnScreen(dialog);
    return TRUE;  // focus to the first tab stop, XScale
}

// All five fields are read before any is stored: a refused field leaves the
// record exactly as it was and keeps the dialog open.
void OnAccept(HWND dialog) {
    float values[5];
    for (int i = 0; i < 5; ++i) {
        const FieldEdit& edit = FieldEdits[i];
        if (!ReadField(dialog, edit.id, values[i]) || (values[i] == 0.0f && !edit.zeroAllowed)) {
            RefuseField(dialog, edit.id);
            return;
        }
    }
    for (int i = 0; i < 5; ++i) ModuleParameters.*FieldEdits[i].field = values[i];
    EndDialog(dialog, 1);
}

void OnColorSwatchPressed(HWND dialog) {
    if (ChooseStainColor(ModuleParameters.StainColor, dialog))
        InvalidateRect(GetDlgItem(dialog, IDC_COLOR_SWATCH), nullptr, FALSE);
}

BOOL OnCommand(HWND dialog, WPARAM first) {
    switch (LOWORD(first)) {
    case IDOK:
        OnAccept(dialog);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, 0);
        return TRUE;
    case IDC_COLOR_SWATCH:
        OnColorSwatchPressed(dialog);
        return FALSE;
    }
    return FALSE;
}

BOOL OnDrawItem(WPARAM first, const DRAWITEMSTRUCT* item) {
    if (first == IDC_COLOR_SWATCH && item != nullptr)
        DrawColorSwatch(item->hDC, item->rcItem, item->itemState, PackStainColor(ModuleParameters.StainColor));
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK ParameterDialogProc(HWND dialog, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_COMMAND:
        return OnCommand(dialog, first);
    case WM_DRAWITEM:
        return OnDrawItem(first, reinterpret_cast<const DRAWITEMSTRUCT*>(second));
    }
    return FALSE;
}

void CenterOnScreen(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    OffsetRect(&rect, -rect.left, -rect.top);  // now right and bottom are the size
    int left = (GetSystemMetrics(SM_CXSCREEN) - rect.right) / 2;  // truncates toward zero
    int top = (GetSystemMetrics(SM_CYSCREEN) - rect.bottom) / 2;
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE);
}
