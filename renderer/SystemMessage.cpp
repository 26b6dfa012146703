#include "renderer/SystemMessage.h"

#include <windows.h>

std::string SystemMessage(unsigned long code, const std::string& subject) {
    char buffer[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                  buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    for (size_t at = text.find("%1"); at != std::string::npos; at = text.find("%1", at + subject.size()))
        text.replace(at, 2, subject);
    if (text.empty()) return "error " + std::to_string(code);
    return text + " (error " + std::to_string(code) + ")";
}
