// The parameter editor: the dialog handler and its placement, the stain
// colour swatch and chooser. All of it works on the module-wide record;
// _SetExternalParameters (ParameterExchange.cpp) opens the dialog.
#pragma once

#include <windows.h>

#include "editor/EditorIds.h"

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
