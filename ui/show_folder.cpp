// "Show in Explorer" for a folder (ui/show_folder.h), through the program's shell calls.
#include "ui/show_folder.h"

#include <windows.h>

#include "foundation/kpl/win32_errors.h"
#include "foundation/win32/shell.h"

namespace {

std::string narrow(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace

void show_folder_in_explorer(const std::wstring& folder, const std::vector<std::wstring>& names) {
    std::string native = narrow(folder);
    std::vector<std::string> utf8;
    for (const std::wstring& each : names) utf8.push_back(narrow(each));
    std::vector<const char*> pointers;
    for (const std::string& each : utf8) pointers.push_back(each.c_str());
    shell_select_result result = shell_select_in_folder(native.c_str(), pointers.data(), pointers.size());
    if (result.step != shell_select_result::opened) throw exception_win32(static_cast<uint32_t>(result.hr));
    if (FAILED(result.hr) && result.hr != E_ABORT) shell_execute(nullptr, nullptr, native.c_str());
}
