// Test support for driving vesk.dll from outside: its exports as the renderer
// calls them, a record loaded exactly, the record read back through the
// procedure, and a watcher that reads and dismisses a message box.
#pragma once

#include <windows.h>
#include <xmmintrin.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/HostInterface.h"
#include "params/ShaderParameters.h"

using StartupFn = int(__cdecl*)(int, int, const char*);
using MorphFn = int(__cdecl*)(const char*, float);
using ProcedureFn = int(__cdecl*)(int, int, int, float, float, float, int, int, int, const uint32_t*, int,
                                  float*, int, uint32_t*, const HostFunctionTable*);
using CloseFn = void(__cdecl*)();
using SetParametersFn = char*(__cdecl*)(char*, void*, const HostMemoryFunctions*);

struct VeskExports {
    StartupFn startup;
    MorphFn morph;
    ProcedureFn procedure;
    CloseFn close;
    SetParametersFn setParameters;
};

inline HMODULE VeskModule() {
    static HMODULE dll = LoadLibraryA("vesk.dll");
    if (!dll) {
        std::fprintf(stderr, "cannot load vesk.dll (error %lu)\n", GetLastError());
        std::abort();
    }
    return dll;
}

// Through a generic function pointer: FARPROC's own type says nothing.
template <class Function>
Function ExportOf(HMODULE dll, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(dll, name)));
}

inline const VeskExports& Exports() {
    static const VeskExports exports = [] {
        HMODULE dll = VeskModule();
        return VeskExports{
            ExportOf<StartupFn>(dll, "_ExternalTextureStartup"),
            ExportOf<MorphFn>(dll, "_ExternalTextureMorph"),
            ExportOf<ProcedureFn>(dll, "_ExternalTextureProcedure"),
            ExportOf<CloseFn>(dll, "_ExternalTextureClose"),
            ExportOf<SetParametersFn>(dll, "_SetExternalParameters"),
        };
    }();
    return exports;
}

inline uint32_t Bits(float f) { uint32_t b; std::memcpy(&b, &f, 4); return b; }

inline std::vector<float> Fields(const ShaderParameters& r) {
    std::vector<float> out;
    for (int i = 0; i < ParameterCount; ++i) out.push_back(ParameterField(r, i));
    return out;
}

// A record's text that reads back exactly: "%.9g" gives the same float.
inline std::string ExactText(const ShaderParameters& r) {
    char text[512] = "#";
    for (int i = 0; i < ParameterCount; ++i)
        std::snprintf(text + std::strlen(text), sizeof text - std::strlen(text), " %.9g",
                      double(ParameterField(r, i)));
    return text;
}

inline void LoadRecord(const ShaderParameters& r) { Exports().startup(0, 0, ExactText(r).c_str()); }

// --- Floating-point traps ---------------------------------------------------

// Zero-divide, invalid and overflow trap while this lives. qemu, which runs
// 32-bit Wine on some machines, never delivers these traps, so the status
// flags are cleared first and read at the end: a flag raised is a trap that
// real hardware would have taken. The x87 unit's flags are read too (the
// runtime's number conversions may use it), for renderers that unmask there.
constexpr unsigned TrapFlags = 0x1u | 0x4u | 0x8u;  // invalid, zero-divide, overflow; same bits in both units

inline unsigned short X87Status() {
    unsigned short status;
    __asm__ volatile("fnstsw %0" : "=m"(status));
    return status;
}

class UnmaskedTraps {
  public:
    explicit UnmaskedTraps(bool on = true) : on_(on), old_(_mm_getcsr()) {
        unsigned clear = old_ & ~0x3Fu;
        _mm_setcsr(on ? clear & ~(_MM_MASK_DIV_ZERO | _MM_MASK_INVALID | _MM_MASK_OVERFLOW) : clear);
        __asm__ volatile("fnclex");
    }
    // The trap flags the calls raised; only meaningful when the traps were on.
    unsigned Raised() const { return on_ ? ((_mm_getcsr() | X87Status()) & TrapFlags) : 0u; }
    ~UnmaskedTraps() { _mm_setcsr(old_); }

  private:
    bool on_;
    unsigned int old_;
};

// --- Shading through the export with fixed samples -----------------------

constexpr uint32_t Untouched = 0x5A5A5A5Au;

struct ShadeResult {
    int result;
    float colour[3];
    uint32_t destination;
    int sampleCalls;
    int order[2];
    float slot0Args[3], slot1Args[3];
};

namespace probe_detail {
inline float Sample[2];
inline ShadeResult* Current;
template <int Slot>
void __cdecl Sampler(float x, float y, float z, float* out) {
    ShadeResult& r = *Current;
    if (r.sampleCalls < 2) r.order[r.sampleCalls] = Slot;
    ++r.sampleCalls;
    float* args = Slot == 0 ? r.slot0Args : r.slot1Args;
    args[0] = x; args[1] = y; args[2] = z;
    *out = Sample[Slot];
}
inline const HostFunctionTable Table{{Sampler<0>, Sampler<1>}};
}  // namespace probe_detail

inline ShadeResult ShadeThroughExport(float s0, float s1, float x, float y, float z, const float* host) {
    ShadeResult r{};
    r.colour[0] = host[0];
    r.colour[1] = host[1];
    r.colour[2] = host[2];
    r.destination = Untouched;
    probe_detail::Sample[0] = s0;
    probe_detail::Sample[1] = s1;
    probe_detail::Current = &r;
    static const uint32_t source = 0xC0FFEE42u;
    r.result = Exports().procedure(1, 2, 3, x, y, z, 7, 8, 9, &source, 11, r.colour, 13, &r.destination,
                                   &probe_detail::Table);
    return r;
}

inline ShadeResult ShadeThroughExport(float s0, float s1, float x, float y, float z, float host = 200.0f) {
    const float colour[3] = {host, host, host};
    return ShadeThroughExport(s0, s1, x, y, z, colour);
}

// --- Reading the record back through the procedure ------------------------

// Floats in numeric order as integers, for bisection.
inline int64_t FloatOrder(float f) { int32_t i; std::memcpy(&i, &f, 4); return i < 0 ? -int64_t(i & 0x7fffffff) : i; }
inline float OrderFloat(int64_t o) {
    int32_t i = o < 0 ? int32_t(-o) | int32_t(0x80000000u) : int32_t(o);
    float f; std::memcpy(&f, &i, 4); return f;
}

// Smallest float m in [lo, hi] for which test(m) holds, test being monotone.
template <class Test>
float SmallestFloatWhere(float lo, float hi, Test test) {
    int64_t a = FloatOrder(lo), b = FloatOrder(hi);
    while (a < b) {
        int64_t mid = a + (b - a) / 2;
        if (test(OrderFloat(mid))) b = mid; else a = mid + 1;
    }
    return OrderFloat(a);
}

// The record as the procedure sees it. Scales come from the sampled point
// (x = y = z = 1), so they are exact to about an ulp and 0 when a zero scale
// stops sampling; the threshold is exact; sharpness is T + S less T.
inline std::vector<float> ProbeRecord() {
    std::vector<float> out(ParameterCount, 0.0f);
    ShadeResult s = ShadeThroughExport(0.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    if (s.sampleCalls == 2) {
        for (int i = 0; i < 3; ++i) out[i] = float(1.0 / (0.2 * double(s.slot0Args[i])));
    }
    if (s.sampleCalls == 0) return out;
    float threshold = SmallestFloatWhere(-FLT_MAX, FLT_MAX, [](float m) {
        return ShadeThroughExport(m, 1.0f, 1, 1, 1).destination == Untouched;
    });
    out[3] = threshold;
    float rimEnd = SmallestFloatWhere(threshold, FLT_MAX, [](float m) {
        ShadeResult r = ShadeThroughExport(m, 1.0f, 1, 1, 1, 0.0f);
        return r.colour[0] == 0.0f && r.colour[1] == 0.0f && r.colour[2] == 0.0f;
    });
    out[4] = float(double(rimEnd) - threshold);
    // A product of 0 makes the colour the stain colour itself.
    for (int i = 0; i < 3; ++i) out[5 + i] = s.colour[i];
    return out;
}

// Field by field to a few ulps: the probe recovers scales and sharpness by
// arithmetic, not bit for bit.
#define EXPECT_RECORD_NEAR(got, expected, label)                                       \
    do {                                                                               \
        std::vector<float> g_ = (got), e_ = (expected);                                \
        for (int i_ = 0; i_ < ParameterCount; ++i_)                                    \
            EXPECT_FLOAT_EQ(g_[i_], e_[i_]) << (label) << ", field " << i_;            \
    } while (0)

// --- The version record ---------------------------------------------------

// A file's version record: its fixed part (null when the file has no record)
// and the strings of its US English block.
struct VersionRecord {
    std::vector<char> bytes;
    VS_FIXEDFILEINFO* fixed = nullptr;

    // The value of a string, or null.
    const char* Text(const char* key) const {
        std::string query = std::string("\\StringFileInfo\\040904E4\\") + key;
        char* value = nullptr;
        UINT length = 0;
        auto* record = const_cast<char*>(bytes.data());
        return VerQueryValueA(record, query.c_str(), reinterpret_cast<void**>(&value), &length) ? value : nullptr;
    }
};

inline VersionRecord ReadVersionRecord(const char* path) {
    VersionRecord record;
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0) return record;
    record.bytes.resize(size);
    UINT length = 0;
    if (!GetFileVersionInfoA(path, 0, size, record.bytes.data()) ||
        !VerQueryValueA(record.bytes.data(), "\\", reinterpret_cast<void**>(&record.fixed), &length))
        record.fixed = nullptr;
    return record;
}

// --- Helper threads that look for windows ---------------------------------

// Call on the test's own thread before starting a thread that looks for or
// drives windows. Wine registers the system window classes once per process,
// on the first thread that reaches the desktop, and that registration loads
// cursors under the loader lock. Loading vesk.dll takes the loader lock and,
// inside it, reaches the desktop too (comctl32, imported through comdlg32,
// registers its classes in DllMain). A helper whose first FindWindowEx comes
// while this thread is still loading the DLL takes the two in the opposite
// order and both threads wait forever; the window is widest while two
// processes start the desktop at once, as under ctest -j2. So this thread
// loads the module and reaches the desktop first.
inline void PrepareForWindowHelpers() {
    Exports();
    GetDesktopWindow();
}

// --- Message boxes --------------------------------------------------------

// A top-level window of this process with the class and caption: tests that
// run side by side must not find each other's windows.
inline HWND FindOwnWindow(const char* className, const char* caption) {
    HWND found = nullptr;
    while ((found = FindWindowExA(nullptr, found, className, caption)) != nullptr) {
        DWORD pid = 0;
        GetWindowThreadProcessId(found, &pid);
        if (pid == GetCurrentProcessId()) return found;
    }
    return nullptr;
}

struct MessageBoxSeen {
    bool shown = false;
    std::string text;
    LONG style = 0;
    LONG exStyle = 0;
    bool hasIcon = false;
};

// Watches this process's windows for a message box with the caption, reads
// it and presses its OK button. Start it before the call that may show one.
class MessageBoxWatch {
  public:
    explicit MessageBoxWatch(const char* caption) : caption_(caption) {
        PrepareForWindowHelpers();
        thread_ = std::thread([this] { Run(); });
    }
    ~MessageBoxWatch() { if (thread_.joinable()) Finish(); }
    MessageBoxSeen Finish() { stop_ = true; thread_.join(); return seen_; }

  private:
    void Run() {
        while (!stop_) {
            HWND box = FindOwnWindow("#32770", caption_.c_str());
            if (box) {
                char text[256] = "";
                GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
                seen_.shown = true;
                seen_.text = text;
                seen_.style = GetWindowLongA(box, GWL_STYLE);
                seen_.exStyle = GetWindowLongA(box, GWL_EXSTYLE);
                HWND icon = GetDlgItem(box, 0x0440);  // the icon control of a message box
                seen_.hasIcon = icon && SendMessageA(icon, STM_GETICON, 0, 0) != 0;
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                while (IsWindow(box) && !stop_) Sleep(5);
                return;
            }
            Sleep(5);
        }
    }
    std::string caption_;
    std::atomic<bool> stop_{false};
    MessageBoxSeen seen_;
    std::thread thread_;
};
