// The music-folders view: friendly names of the watched folders and the way into the folder tree.
#include "library/folder_view_node.h"

#include <windows.h>
#include <shlobj.h>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/win32/system_paths.h"
#include "library/library_manager.h"
#include "shell/localization.h"

const wchar_t* const folders_root_key = L"{7644CAF4-800E-4771-B16D-D161B8B08887}";

void append_folders_root_key(key_list& keys) { keys.append(list_text(folders_root_key)); }

namespace {

std::wstring wide(const std::string& text) {
    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, text.c_str());
    return w.c_str();
}

std::wstring special_folder(int csidl) {
    wchar_t path[MAX_PATH] = {0};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return L"";
    return path;
}

// The program's folder, without a trailing backslash.
std::wstring program_folder() {
    kpl::utf8_string_pow2 exe;
    get_program_path(exe);
    std::wstring path = wide(exe.c_str());
    const size_t cut = path.find_last_of(L'\\');
    return cut == std::wstring::npos ? path : path.substr(0, cut);
}

}  // namespace

folder_view_node::folder_view_node(const node_path& path, const std::vector<std::string>* folders)
    : m_own_list(folders == nullptr) {
    if (folders) m_folders = *folders;
    set_path(path);
}

key_list folder_view_node::selection_to_here() { kpl::crash(); }
void folder_view_node::go_up() { kpl::crash(); }

void folder_view_node::set_path(const node_path& path) {
    m_path = path;
    refill();
}

void folder_view_node::refill() {
    m_items.clear();
    m_names.clear();
    if (m_path.empty() || m_path[0].empty() || std::wstring(m_path[0].front().text()) != folders_root_key) return;
    if (m_own_list) m_folders = library_manager::effective_list();
    const std::wstring my_music = special_folder(CSIDL_MYMUSIC), shared_music = special_folder(CSIDL_COMMON_MUSIC);
    for (const std::string& f : m_folders) {
        const std::wstring folder = wide(f);
        std::wstring name;
        if (!my_music.empty() && lstrcmpiW(folder.c_str(), my_music.c_str()) == 0) {
            name = wide(localization_table::get_text("ui_view_my_music"));
        } else if (!shared_music.empty() && lstrcmpiW(folder.c_str(), shared_music.c_str()) == 0) {
            name = wide(localization_table::get_text("ui_view_shared_music"));
        } else {
            const size_t cut = folder.find_last_of(L"\\/");
            name = cut == std::wstring::npos ? folder : folder.substr(cut + 1);
            if (name.empty()) name = folder;
        }
        std::wstring unique = name;
        for (unsigned n = 1; m_names.count(list_text(unique)); ++n) {
            wchar_t suffix[32];
            wsprintfW(suffix, L" (%u)", n);
            unique = name + suffix;
        }
        m_items.append(list_text(unique));
        m_names[list_text(unique)] = folder;
    }
}

void folder_view_node::get_title(navigation_text& out) {
    out.clear();
    out.append_escaped(localization_table::get_text("ui_view_folders"));
}

node_path folder_view_node::folder_path(const std::wstring& given) {
    std::wstring folder = given;
    if (folder == L"." || folder == L".\\") folder = program_folder();
    node_path path;
    size_t at = 0;
    if (folder.compare(0, 2, L"\\\\") == 0) {
        const size_t end = folder.find(L'\\', 2);
        key_list first;
        first.append(list_text(folder.substr(0, end)));
        path.push_back(first);
        at = end == std::wstring::npos ? folder.size() : end;
    }
    while (at < folder.size()) {
        size_t end = folder.find(L'\\', at);
        if (end == std::wstring::npos) end = folder.size();
        if (end > at) {
            key_list level;
            level.append(list_text(folder.substr(at, end - at)));
            path.push_back(level);
        }
        at = end + 1;
    }
    return path;
}

bool folder_view_node::redirect(view_path& out, const list_text& key) {
    const auto found = m_names.find(key);
    if (found == m_names.end()) {
        out.kind = 0;
        out.path.clear();
        return true;
    }
    out.kind = 1;
    out.path = folder_path(found->second);
    return true;
}
