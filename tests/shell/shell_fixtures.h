#pragma once
// Shared pieces of the shell tests: the running service registry, scratch folders, debugger-line capture
// and track lists of a given length.

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "foundation/services/service_registry.h"
#include "shell/command_model.h"
#include "resources/resource_ids.h"
#include "shell/debug_log.h"

namespace shell_test {

// The program's services run for the fixture's life (started when they were not).
struct running_services {
    bool started = false;
    running_services() {
        if (!service_registry::is_running()) {
            service_registry::start();
            started = true;
        }
    }
    ~running_services() {
        if (started) service_registry::release_table();
    }
};

// Everything written to the debugger output while it lives.
struct captured_log {
    kpl::utf8_string_pow2 text;
    kpl::utf8_string* previous;
    captured_log() : previous(debug_log_capture(&text)) {}
    ~captured_log() { debug_log_capture(previous); }
    bool contains(const char* line) const { return std::string(text.c_str()).find(line) != std::string::npos; }
};

inline std::wstring wide(const std::string& utf8) {
    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, utf8.c_str());
    return w.c_str();
}

inline std::string utf8(const wchar_t* text) { return kpl::utf8_string_from_utf16(text).c_str(); }

// A fresh, empty folder in the temporary folder, removed with what is in it.
struct scratch_folder {
    std::string path;
    explicit scratch_folder(const char* name) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path = utf8(temp) + name;
        remove_all(path);
        CreateDirectoryW(wide(path).c_str(), nullptr);
    }
    ~scratch_folder() { remove_all(path); }

    std::string file(const std::string& name, const std::string& content = "") const {
        std::string full = path + "\\" + name;
        HANDLE h = CreateFileW(wide(full).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        if (h != INVALID_HANDLE_VALUE) {
            if (!content.empty()) WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
            CloseHandle(h);
        }
        return full;
    }
    std::string folder(const std::string& name) const {
        std::string full = path + "\\" + name;
        CreateDirectoryW(wide(full).c_str(), nullptr);
        return full;
    }

    static void remove_all(const std::string& folder) {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW(wide(folder + "\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::string name = utf8(data.cFileName);
                if (name == "." || name == "..") continue;
                std::string full = folder + "\\" + name;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) remove_all(full);
                else {
                    SetFileAttributesW(wide(full).c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileW(wide(full).c_str());
                }
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        RemoveDirectoryW(wide(folder).c_str());
    }
};

// A track list of `n` entries whose items are never read (commands here only count them).
class counted_tracks final : public track_handle_list {
public:
    explicit counted_tracks(uint32_t n) : m_count(n) {}
    uint32_t count() const override { return m_count; }
    void get_item(uint32_t, track_handle_ref&) const override { throw kpl::exception_invalid_params(); }
    void set_item(uint32_t, const track_handle_ref&) override { throw kpl::exception_invalid_params(); }
    void swap_items(uint32_t, uint32_t) override { throw kpl::exception_invalid_params(); }
    void filter_by_mask(const kpl::bit_mask&) override {}
    void insert_from(const track_handle_list&, uint32_t) override { throw kpl::exception_invalid_params(); }

protected:
    const track_handle_ref& item_at(uint32_t) const override { throw kpl::exception_invalid_params(); }

private:
    uint32_t m_count;
};

// The items of a menu as texts: "---" for a separator; a text with " [checked]", " [radio]", " [gray]"
// (MFS_GRAYED), " [disabled]" (MFS_DISABLED without gray) as they apply; a popup as "name >" followed by its
// items indented by two spaces.
inline void menu_lines(HMENU menu, std::vector<std::string>& out, const std::string& indent = "") {
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 255;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        if (info.fType & MFT_SEPARATOR) {
            out.push_back(indent + "---");
            continue;
        }
        std::string line = indent + utf8(text);
        if (info.fState & MFS_CHECKED) line += (info.fType & MFT_RADIOCHECK) ? " [radio]" : " [checked]";
        if (info.fState & MFS_GRAYED) line += " [gray]";
        else if (info.fState & MFS_DISABLED) line += " [disabled]";
        if (info.hSubMenu) {
            out.push_back(line + " >");
            menu_lines(info.hSubMenu, out, indent + "  ");
        } else {
            out.push_back(line);
        }
    }
}

inline std::vector<std::string> menu_lines(HMENU menu) {
    std::vector<std::string> out;
    menu_lines(menu, out);
    return out;
}

// Lines joined with " | ", for comparisons that show both sides when they fail.
inline std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += (out.empty() ? "" : " | ") + line;
    return out;
}

struct notice_search {
    std::wstring title;
    std::vector<HWND> found;
};

inline BOOL CALLBACK find_notice(HWND window, LPARAM context) {
    auto* s = reinterpret_cast<notice_search*>(context);
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 255);
    if (s->title == caption && GetDlgItem(window, IDC_POPUP_NOTICE_TEXT)) s->found.push_back(window);
    return TRUE;
}

// The texts of the popup notices titled `title` that this thread shows now; they are closed.
inline std::vector<std::string> take_notices(const char* title) {
    notice_search s{wide(title), {}};
    EnumThreadWindows(GetCurrentThreadId(), &find_notice, reinterpret_cast<LPARAM>(&s));
    std::vector<std::string> texts;
    for (HWND window : s.found) {
        wchar_t text[1024] = {};
        GetDlgItemTextW(window, IDC_POPUP_NOTICE_TEXT, text, 1023);
        texts.push_back(utf8(text));
        DestroyWindow(window);
    }
    return texts;
}

// The command id of the item at a position.
inline UINT menu_item_id(HMENU menu, int position) { return GetMenuItemID(menu, position); }

}  // namespace shell_test
