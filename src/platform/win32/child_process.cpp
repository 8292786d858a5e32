#include "platform/child_process.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace tarvelmond::platform {

bool ChildProcess::start(const std::string& executable, const std::vector<std::string>& arguments) {
    terminate();
    std::wstring commandLine = L"\"" + widen(executable) + L"\"";
    for (const std::string& argument : arguments)
        commandLine += L" \"" + widen(argument) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(widen(executable).c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    return true;
}

void ChildProcess::terminate() {
    if (process_ == nullptr) return;
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 10'000);
    CloseHandle(process_);
    process_ = nullptr;
}

bool ChildProcess::running() const {
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds limit) {
    if (process_ == nullptr) return std::nullopt;
    if (WaitForSingleObject(process_, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    CloseHandle(process_);
    process_ = nullptr;
    return static_cast<int>(code);
}

}  // namespace tarvelmond::platform
