#include "tests/support/gui_support.h"

#include <cstring>
#include <string>

namespace gui_test {

namespace {

std::wstring scenario_dir() {
    wchar_t buffer[1024] = {};
    DWORD n = GetEnvironmentVariableW(L"VORN_SCENARIO_DIR", buffer, 1024);
    if (n == 0 || n >= 1024) return {};
    return buffer;
}

}  // namespace

bool scenario_active() { return !scenario_dir().empty(); }

void scenario_step(const char* name, const char* info) {
    const std::wstring dir = scenario_dir();
    if (dir.empty()) return;
    std::wstring base = dir + L"\\" + std::wstring(name, name + strlen(name));
    // Written under another name first, so the script never reads a half-written file.
    HANDLE ready = CreateFileW((base + L".part").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (ready != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(ready, info, DWORD(strlen(info)), &written, nullptr);
        CloseHandle(ready);
        MoveFileW((base + L".part").c_str(), (base + L".ready").c_str());
    }
    const std::wstring go = base + L".go";
    pump_until([&] { return GetFileAttributesW(go.c_str()) != INVALID_FILE_ATTRIBUTES; }, 60.0);
}

}  // namespace gui_test
