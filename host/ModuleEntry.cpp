#include "host/ModuleEntry.h"

#include "host/HostInterface.h"
#include "params/ParameterText.h"

HINSTANCE ModuleInstance = nullptr;

// The image's entry point itself: no C runtime start-up runs before it, as
// the module has nothing to initialise but this handle.
extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH && instance != nullptr) ModuleInstance = instance;
    return TRUE;
}

extern "C" int VESK_CDECL _ExternalTextureStartup(int, int, const char* text) {
    if (text != nullptr && text[0] == '#') {
        ReadParameterText(text, ModuleParameters);
    } else {
        MessageBoxA(GetFocus(), "Parameter list missing", "External texture: Startup", MB_SYSTEMMODAL);
    }
    return 1;
}

extern "C" int VESK_CDECL _ExternalTextureMorph(const char* text, float weight) {
    // Fields the text does not supply blend toward their own value: unchanged.
    ShaderParameters other = ModuleParameters;
    ReadParameterText(text, other);
    BlendParameters(ModuleParameters, other, weight);
    return 1;
}

extern "C" int VESK_CDECL _ExternalTextureProcedure(int, int, int, float x, float y, float z, int, int, int,
                                                    const uint32_t* source, int, float* colour, int,
                                                    uint32_t* destination, const HostFunctionTable* functions) {
    ShadeStainPoint(ModuleParameters, x, y, z, functions->Sample, colour, source, destination);
    return 1;
}

extern "C" void VESK_CDECL _ExternalTextureClose() {}
