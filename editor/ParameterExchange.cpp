#include "host/HostInterface.h"

// Until the parameter dialog is in place, the renderer keeps its text.
extern "C" char* VESK_CDECL _SetExternalParameters(char* text, void*, const HostMemoryFunctions*) {
    return text;
}
