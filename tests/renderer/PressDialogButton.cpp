// Test helper: waits for a dialog by its caption, prints its edit fields,
// types into some of them, then presses OK or Cancel. It lets a script drive
// the modal dialog that `vesk-render edit` opens in another process.
// Usage: press-dialog-button CAPTION ok|cancel [ID=TEXT ...] [--show ID,ID,...]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: press-dialog-button CAPTION ok|cancel [--show ID,ID,...] [ID=TEXT ...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string caption = argv[1], button = argv[2];
    const int pressed = button == "ok" ? IDOK : button == "cancel" ? IDCANCEL : 0;
    if (pressed == 0) return Usage();

    std::vector<int> shown;
    std::vector<std::pair<int, std::string>> typed;
    for (int i = 3; i < argc; ++i) {
        std::string arg = argv[i];
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

    // The program under test may take a while to start under Wine.
    HWND dialog = nullptr;
    for (int tries = 0; tries < 600 && dialog == nullptr; ++tries) {
        dialog = FindWindowA("#32770", caption.c_str());
        if (dialog == nullptr) Sleep(100);
    }
    if (dialog == nullptr) {
        std::fprintf(stderr, "press-dialog-button: no dialog \"%s\" appeared\n", caption.c_str());
        return 1;
    }

    for (int id : shown) {
        char text[128] = "";
        GetDlgItemTextA(dialog, id, text, sizeof text);
        std::printf("field %d: %s\n", id, text);
    }
    for (const auto& [id, text] : typed) SetDlgItemTextA(dialog, id, text.c_str());
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(pressed, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, pressed)));
    return 0;
}
