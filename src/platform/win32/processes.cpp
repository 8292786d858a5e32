#include "platform/processes.h"

#include <windows.h>
// tool-help needs the base types of windows.h first
#include <tlhelp32.h>

#include "platform/win32/wide_text.h"

namespace tarvelmond::platform {

bool isProcessRunning(const std::string& name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    const std::wstring wanted = widen(name);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry)) {
        found = wanted == entry.szExeFile;
    }
    CloseHandle(snapshot);
    return found;
}

}  // namespace tarvelmond::platform
