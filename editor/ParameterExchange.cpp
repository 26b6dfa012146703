#include <cstring>

#include "editor/ParameterEditor.h"
#include "host/HostInterface.h"
#include "host/ModuleEntry.h"
#include "params/ParameterText.h"

// Loads the renderer's text, lets the user edit it, and hands back a new text
// from the renderer's allocator. The old text is released only once the new
// one exists, so the renderer never ends up with no text.
extern "C" char* VESK_CDECL _SetExternalParameters(char* text, void* owner, const HostMemoryFunctions* memory) {
    if (text != nullptr) ReadParameterText(text, ModuleParameters);

    INT_PTR result = DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_PARAMETER_DIALOG),
                                     static_cast<HWND>(owner), ParameterDialogProc, 0);
    if (result == 0 || result == -1) return text;  // cancelled, or no dialog at all

    ParameterText written = WriteParameterText(ModuleParameters);
    size_t size = std::strlen(written.text) + 1;
    char* block = static_cast<char*>(memory->Allocate(size));
    if (block == nullptr) {
        MessageBoxA(GetFocus(), "External shader: Out of memory", "Error", MB_TASKMODAL | MB_ICONERROR);
        return text;  // the renderer keeps its old text
    }
    std::memcpy(block, written.text, size);
    if (text != nullptr) memory->Release(text);
    return block;
}
