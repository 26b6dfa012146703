// Test support for the parameter dialog: a counting allocator for the
// renderer's side, and a helper thread that waits for this process's dialog
// (or the colour chooser) and drives it while the export runs modally.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host/ParameterProbe.h"

constexpr const char* DialogCaption = "Vesk 0.15 ";
constexpr int FieldIds[5] = {101, 102, 103, 109, 121};

// A dialog of this process with the caption, polled until the deadline. A
// dialog becomes visible only after its WM_INITDIALOG, so it is ready then.
inline HWND WaitForOwnWindow(const char* caption, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        HWND window = FindOwnWindow("#32770", caption);
        if (window && IsWindowVisible(window)) return window;
        Sleep(10);
    }
    return nullptr;
}

inline bool WaitUntilGone(HWND window, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (IsWindow(window)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        Sleep(10);
    }
    return true;
}

inline std::string ItemText(HWND dialog, int id) {
    char text[512] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

inline std::vector<std::string> FieldTexts(HWND dialog) {
    std::vector<std::string> out;
    for (int id : FieldIds) out.push_back(ItemText(dialog, id));
    return out;
}

inline void Press(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

// A desktop of the test process's own, for the calling thread and the helper
// threads below. Wine has no foreground lock: a dialog that another test
// process opens takes the activation from this one's, and with it a help
// popup's (which closes then, as it should). Call it before the thread's
// first window or hook.
inline HDESK OwnDesktop = nullptr;
inline bool UseOwnDesktop() {
    char name[48];
    std::snprintf(name, sizeof name, "vesk-test-%lu", static_cast<unsigned long>(GetCurrentProcessId()));
    OwnDesktop = CreateDesktopA(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    return OwnDesktop != nullptr && SetThreadDesktop(OwnDesktop);
}

// The renderer's allocator as the test sees it: every call recorded.
struct AllocatorLog {
    std::vector<size_t> allocateSizes;
    std::vector<void*> allocated;
    std::vector<void*> released;
    bool outOfMemory = false;
};

namespace driver_detail {
inline AllocatorLog* Log;
inline void* __cdecl Allocate(size_t bytes) {
    Log->allocateSizes.push_back(bytes);
    void* block = Log->outOfMemory ? nullptr : std::malloc(bytes);
    Log->allocated.push_back(block);
    return block;
}
inline void __cdecl Release(void* block) { Log->released.push_back(block); }
inline const HostMemoryFunctions Memory{Allocate, Release};
}  // namespace driver_detail

struct EditOutcome {
    char* result = nullptr;
    AllocatorLog log;
    bool dialogSeen = false;
    std::vector<std::string> opened;  // the five field texts as the dialog opened
    RECT window{};                    // the dialog's rectangle as it opened
};

// Calls _SetExternalParameters(text) while drive(dialog) runs on a helper
// thread once the dialog is up. drive must close the dialog (or let it be).
inline EditOutcome EditThroughExport(char* text, const std::function<void(HWND)>& drive, bool outOfMemory = false,
                                     HWND owner = nullptr) {
    EditOutcome out;
    out.log.outOfMemory = outOfMemory;
    driver_detail::Log = &out.log;
    std::atomic<bool> returned{false};
    PrepareForWindowHelpers();
    std::thread helper([&] {
        if (OwnDesktop != nullptr) SetThreadDesktop(OwnDesktop);
        HWND dialog = nullptr;
        while (!returned && !(dialog = WaitForOwnWindow(DialogCaption, std::chrono::milliseconds(500)))) {}
        if (!dialog) return;
        out.dialogSeen = true;
        out.opened = FieldTexts(dialog);
        GetWindowRect(dialog, &out.window);
        drive(dialog);
        // A test that failed to close the dialog must not hang the run.
        while (!returned && !WaitUntilGone(dialog, std::chrono::seconds(10))) Press(dialog, IDCANCEL);
    });
    out.result = Exports().setParameters(text, owner, &driver_detail::Memory);
    returned = true;
    helper.join();
    return out;
}

inline void SetField(HWND dialog, int id, const char* text) { SetDlgItemTextA(dialog, id, text); }
