// The module's instance handle, kept at attach; the dialog template is found through it.
#pragma once

#include <windows.h>

extern HINSTANCE ModuleInstance;

// The image's entry point: the loader calls it directly.
extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved);
