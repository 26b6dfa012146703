// Test helper: starts a program, waits for the dialog it opens (found by
// caption, in that program's process only: other tests may have the same
// dialog open), prints some of its fields, types into others, presses OK or
// Cancel, and ends with the program's exit status. It lets a script drive the
// modal dialog of `vesk-render edit`.
// Usage: press-dialog-button CAPTION ok|cancel [--show ID,...] [ID=TEXT ...] -- PROGRAM ARGS...
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: press-dialog-button CAPTION ok|cancel [--show ID,...] [ID=TEXT ...] -- PROGRAM ARGS...\n");
    return 2;
}

// One argument quoted as the C runtime splits a command line.
std::string Quoted(const std::string& arg) {
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes double only before a quote; the quote itself is escaped.
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

HWND FindDialogOf(DWORD process, const char* caption) {
    HWND found = nullptr;
    while ((found = FindWindowExA(nullptr, found, "#32770", caption)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(found, &owner);
        // Visible once its initialisation has filled the fields.
        if (owner == process && IsWindowVisible(found)) return found;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const char* caption = argv[1];
    const std::string button = argv[2];
    const int pressed = button == "ok" ? IDOK : button == "cancel" ? IDCANCEL : 0;
    if (pressed == 0) return Usage();

    std::vector<int> shown;
    std::vector<std::pair<int, std::string>> typed;
    std::string commandLine;
    int i = 3;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg == "--show" && i + 1 < argc) {
            const std::string list = argv[++i];
            for (size_t start = 0; start <= list.size();) {
                size_t comma = list.find(',', start);
                if (comma == std::string::npos) comma = list.size();
                shown.push_back(std::atoi(list.substr(start, comma - start).c_str()));
                start = comma + 1;
            }
        } else if (size_t equals = arg.find('='); equals != std::string::npos) {
            typed.emplace_back(std::atoi(arg.substr(0, equals).c_str()), arg.substr(equals + 1));
        } else {
            return Usage();
        }
    }
    if (i + 1 >= argc) return Usage();
    for (++i; i < argc; ++i) {
        if (!commandLine.empty()) commandLine += ' ';
        commandLine += Quoted(argv[i]);
    }

    // The program writes to our own output; ours goes first, so flush it before each step.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
        std::fprintf(stderr, "press-dialog-button: cannot start %s (error %lu)\n", commandLine.c_str(),
                     GetLastError());
        return 1;
    }

    // The program may take a while to start under Wine; it may also end without a dialog.
    HWND dialog = nullptr;
    for (int tries = 0; tries < 600 && dialog == nullptr; ++tries) {
        dialog = FindDialogOf(child.dwProcessId, caption);
        if (dialog == nullptr && WaitForSingleObject(child.hProcess, 100) == WAIT_OBJECT_0) break;
    }
    if (dialog == nullptr) {
        std::fprintf(stderr, "press-dialog-button: no dialog \"%s\" appeared\n", caption);
        TerminateProcess(child.hProcess, 1);
        return 1;
    }

    for (int id : shown) {
        char text[128] = "";
        GetDlgItemTextA(dialog, id, text, sizeof text);
        std::printf("field %d: %s\n", id, text);
    }
    std::fflush(stdout);
    for (const auto& [id, text] : typed) SetDlgItemTextA(dialog, id, text.c_str());
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(pressed, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, pressed)));

    DWORD status = 1;
    if (WaitForSingleObject(child.hProcess, 60000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "press-dialog-button: the program did not end after the dialog\n");
        TerminateProcess(child.hProcess, 1);
    } else {
        GetExitCodeProcess(child.hProcess, &status);
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return static_cast<int>(status);
}
