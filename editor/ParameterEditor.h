// The parameter editor: the dialog handler and its placement, the stain
// colour swatch and chooser, the live preview picture and the context help.
// All of it works on the module-wide record; _SetExternalParameters
// (ParameterExchange.cpp) opens the dialog.
#pragma once

#include <windows.h>

#include "editor/EditorIds.h"
#include "params/ShaderParameters.h"

INT_PTR CALLBACK ParameterDialogProc(HWND dialog, UINT message, WPARAM first, LPARAM second);

// Moves the window to the middle of the primary screen, keeping its size.
void CenterOnScreen(HWND window);

// Red in the low byte: each channel truncated toward zero, its low 8 bits kept.
COLORREF PackStainColor(const float colour[3]);

// Paints the swatch into any device context: inverted while pressed, else
// filled with the colour and outlined with the context's pen.
void DrawColorSwatch(HDC dc, const RECT& item, UINT state, COLORREF colour);

// Runs the system colour chooser; a confirmed colour goes into colour at once.
// Returns true when the user confirmed.
bool ChooseStainColor(float colour[3], HWND owner);

// The chooser's 16 custom colours, kept while the module is loaded.
extern COLORREF CustomColors[16];

// Renders the record's stain preview into a new 24-bit DIB section and gives
// it to the picture control; the picture it replaces is deleted. When no
// bitmap can be made, the last picture stays.
void ShowStainPreview(HWND dialog, const ShaderParameters& record);

// Takes the picture out of the control and deletes it: the dialog is closing.
void ReleaseStainPreview(HWND dialog);

// Opens a small popup beside the control the help is asked for (the "?"
// button then a click, or F1), explaining it in a sentence or two. Any click
// or key closes it. Controls without a text get none.
void ShowContextHelp(HWND dialog, const HELPINFO& request);

// Closes the popup if it is open and gives back its window class: the dialog
// is closing.
void EndContextHelp();
