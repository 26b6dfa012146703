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

// Reads the edit's whole text as atof would, with "." as the decimal point:
// the first number, whatever follows it. False when it holds no number, one
// beyond the float range, or one followed at once by a comma and a digit.
bool ReadField(HWND dialog, int id, float& value) {
    char text[FieldTextCapacity];
    HWND edit = GetDlgItem(dialog, id);
    if (GetWindowTextLengthA(edit) >= FieldTextCapacity) return false;  // longer than any float's text
    GetWindowTextA(edit, text, FieldTextCapacity);
    const char* cursor = text;
    float number;
    if (!ReadNumber(cursor, number)) return false;
    // A decimal comma: atof would store the 0 of "0,35" and switch the stain off.
    if (cursor[0] == ',' && IsDigit(cursor[1])) return false;
    value = number;
    return true;
}

// Shows the user which field is refused: beep, focus, whole text selected.
void RefuseField(HWND dialog, int id) {
    MessageBeep(MB_OK);
    HWND edit = GetDlgItem(dialog, id);
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
    SendMessageA(edit, EM_SETSEL, 0, -1);
}

// The five edits as OK stores them, into the record. All five are read
// before any is stored: returns the id of the first entry OK refuses, with
// the record exactly as it was, or 0 once all five are stored.
int ReadFields(HWND dialog, ShaderParameters& record) {
    float values[5];
    for (int i = 0; i < 5; ++i) {
        const FieldEdit& edit = FieldEdits[i];
        if (!ReadField(dialog, edit.id, values[i]) || (values[i] == 0.0f && !edit.zeroAllowed)) return edit.id;
    }
    for (int i = 0; i < 5; ++i) record.*FieldEdits[i].field = values[i];
    return 0;
}

// Whether an edit's change redraws the preview: not while WM_INITDIALOG fills
// the fields, when the picture is to show the record itself.
bool PreviewFollowsFields = false;

// The preview of what OK would store now, on a scratch copy: the module's
// record changes only on OK. An entry OK would refuse keeps the last picture.
void UpdatePreview(HWND dialog) {
    ShaderParameters edited = ModuleParameters;
    if (ReadFields(dialog, edited) == 0) ShowStainPreview(dialog, edited);
}

BOOL OnInitDialog(HWND dialog) {
    PreviewFollowsFields = false;
    for (const FieldEdit& edit : FieldEdits) ShowField(dialog, edit.id, ModuleParameters.*edit.field);
    ShowStainPreview(dialog, ModuleParameters);
    PreviewFollowsFields = true;
    CenterOnScreen(dialog);
    return TRUE;  // focus to the first tab stop, XScale
}

// A refused field keeps the dialog open.
void OnAccept(HWND dialog) {
    int refused = ReadFields(dialog, ModuleParameters);
    if (refused != 0) {
        RefuseField(dialog, refused);
        return;
    }
    EndDialog(dialog, 1);
}

void OnColorSwatchPressed(HWND dialog) {
    if (ChooseStainColor(ModuleParameters.StainColor, dialog)) {
        InvalidateRect(GetDlgItem(dialog, IDC_COLOR_SWATCH), nullptr, FALSE);
        UpdatePreview(dialog);
    }
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
    // Only the edits send EN_CHANGE.
    if (HIWORD(first) == EN_CHANGE && PreviewFollowsFields) UpdatePreview(dialog);
    return FALSE;
}

// Handled even where there is no note: the request goes no further, to the
// renderer's window.
BOOL OnHelp(HWND dialog, const HELPINFO* request) {
    if (request != nullptr) ShowContextHelp(dialog, *request);
    return TRUE;
}

// The picture and the help popup go with the dialog.
BOOL OnDestroy(HWND dialog) {
    PreviewFollowsFields = false;
    EndContextHelp();
    ReleaseStainPreview(dialog);
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
    case WM_HELP:
        return OnHelp(dialog, reinterpret_cast<const HELPINFO*>(second));
    case WM_DESTROY:
        return OnDestroy(dialog);
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
