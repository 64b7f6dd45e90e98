// Splitting opened locations into a folder and the names to select in it.
#include "ui/open_locations.h"

#include <windows.h>

#include <cstring>

#include "foundation/kpl/codepage.h"
#include "library/folder_view_node.h"

open_plan plan_open_locations(const std::vector<std::wstring>& locations, bool (*is_directory)(const std::wstring& path)) {
    open_plan out;
    for (const std::wstring& location : locations) {
        const size_t cut = location.find_last_of(L'\\');
        if (cut != std::wstring::npos) {
            out.folder = location.substr(0, cut);
            break;
        }
    }
    for (const std::wstring& location : locations) {
        const size_t cut = location.find_last_of(L'\\');
        out.names.push_back(cut == std::wstring::npos ? location : location.substr(cut + 1));
    }
    if (locations.size() == 1) {
        const std::wstring whole = out.folder + L"\\" + out.names[0];
        if (is_directory(whole)) {
            out.folder = whole;
            out.names.clear();
            out.directory_only = true;
        }
    }
    return out;
}

bool path_is_directory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring without_file_scheme(const std::wstring& location) {
    return location.compare(0, 7, L"file://") == 0 ? location.substr(7) : location;
}

bool playing_track_folder(const char* path, view_path& out) {
    static const char scheme[] = "file://";
    if (std::strncmp(path, scheme, 7) != 0) return false;
    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, path + 7);
    const std::wstring local = w.c_str();
    const size_t cut = local.find_last_of(L'\\');
    if (cut == std::wstring::npos) return false;
    out.kind = 1;
    out.path = folder_view_node::folder_path(local.substr(0, cut));
    return true;
}
