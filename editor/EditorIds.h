// Resource and control ids of the parameter dialog, shared by dialog.rc and
// the editor's code. Plain #defines: the resource compiler reads this too.
#pragma once

#define IDD_PARAMETER_DIALOG 1
#define IDB_PREVIEW 2

// Edits, in tab order
#define IDC_XSCALE 101
#define IDC_YSCALE 102
#define IDC_ZSCALE 103
#define IDC_THRESHOLD 109
#define IDC_SHARPNESS 121

// The owner-drawn stain colour swatch
#define IDC_COLOR_SWATCH 113

// Labels, the about frame and the preview picture
#define IDC_XSCALE_LABEL 104
#define IDC_YSCALE_LABEL 105
#define IDC_ZSCALE_LABEL 106
#define IDC_THRESHOLD_LABEL 110
#define IDC_ABOUT_FRAME 114
#define IDC_ABOUT_NAME 115
#define IDC_ABOUT_NOTICE 116
#define IDC_ABOUT_MAIL 117
#define IDC_ABOUT_WEB 118
#define IDC_COLOR_LABEL 120
#define IDC_SHARPNESS_LABEL 122
#define IDC_PREVIEW 112

// Each edit accepts this many characters.
#define FIELD_TEXT_LIMIT 12
