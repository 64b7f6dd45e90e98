// The shell objects of Windows Vista and 7 used here are reached through COM only, so their declarations
// are taken from the newer header level; nothing in this file links to a function newer than XP.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#undef WINVER
#define WINVER 0x0601
#undef _WIN32_IE
#define _WIN32_IE 0x0700

#include "foundation/win32/shell.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cwchar>

#include "foundation/kpl/win32_errors.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/system_paths.h"

namespace {

// The shell's item dialog for opening and its interface, and the shell library object.
const GUID clsid_file_open_dialog = {0xDC1C5A9C, 0xE88A, 0x4DDE, {0xA5, 0xA1, 0x60, 0xF8, 0x2A, 0x20, 0xAE, 0xF7}};
const GUID iid_file_dialog = {0xD57C7288, 0xD4AD, 0x4768, {0xBE, 0x02, 0x9D, 0x96, 0x95, 0x32, 0xD9, 0x60}};
const GUID clsid_shell_library = {0xD9B3211D, 0xE57F, 0x4426, {0xAA, 0xEF, 0x30, 0xA8, 0x06, 0xAD, 0xD3, 0x97}};
const GUID iid_shell_library = {0x11A66EFA, 0x382E, 0x451A, {0x92, 0x34, 0x1E, 0x0E, 0x12, 0xEF, 0x30, 0x85}};
const GUID iid_shell_item_array = {0xB63EA76D, 0x1F85, 0x456F, {0xA1, 0x9C, 0x48, 0x15, 0x9E, 0xFA, 0x85, 0x8B}};
const GUID iid_shell_folder = {0x000214E6, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

template <class T>
class com_ptr {
public:
    com_ptr() = default;
    ~com_ptr() {
        if (m_p) m_p->Release();
    }
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;
    T** out() { return &m_p; }
    void** out_void() { return reinterpret_cast<void**>(&m_p); }
    T* operator->() const { return m_p; }
    T* get() const { return m_p; }

private:
    T* m_p = nullptr;
};

class pidl_holder {
public:
    ~pidl_holder() { CoTaskMemFree(m_pidl); }
    LPITEMIDLIST* out() { return &m_pidl; }
    LPITEMIDLIST get() const { return m_pidl; }

private:
    LPITEMIDLIST m_pidl = nullptr;
};

class co_string {
public:
    ~co_string() { CoTaskMemFree(m_text); }
    LPWSTR* out() { return &m_text; }
    LPCWSTR get() const { return m_text; }

private:
    LPWSTR m_text = nullptr;
};

// The item dialog in folder mode; throws kpl::exception_not_implemented when it cannot be made.
bool pick_with_item_dialog(HWND parent, const char* title, kpl::utf8_string& folder) {
    com_ptr<IFileDialog> dialog;
    if (FAILED(CoCreateInstance(clsid_file_open_dialog, nullptr, CLSCTX_INPROC_SERVER, iid_file_dialog,
                                dialog.out_void())))
        throw kpl::exception_not_implemented();
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
    if (title != nullptr) dialog->SetTitle(win_string_param(title).get());
    if (folder.length() > 0) {
        pidl_holder start;
        if (SUCCEEDED(SHParseDisplayName(win_string_param(folder).get(), nullptr, start.out(), 0, nullptr))) {
            com_ptr<IShellItem> item;
            if (SUCCEEDED(SHCreateShellItem(nullptr, nullptr, start.get(), item.out()))) dialog->SetFolder(item.get());
        }
    }
    HRESULT shown;
    {
        modal_scope scope(parent);
        shown = dialog->Show(parent);
    }
    if (FAILED(shown)) return false;
    com_ptr<IShellItem> result;
    if (FAILED(dialog->GetResult(result.out()))) return false;
    co_string path;
    if (FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, path.out())) || path.get() == nullptr) return false;
    folder = utf16_to_utf8_string(path.get());
    return true;
}

struct browse_state {
    wchar_t start[260] = {};
    modal_scope scope;
};

int CALLBACK browse_callback(HWND window, UINT message, LPARAM, LPARAM data) {
    browse_state* state = reinterpret_cast<browse_state*>(data);
    if (message == BFFM_INITIALIZED) {
        state->scope.enter(window);
        if (state->start[0] != 0) SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(state->start));
    }
    return 0;
}

bool pick_with_folder_browser(HWND parent, const char* title, kpl::utf8_string& folder) {
    browse_state state;
    const win_string_param start(folder);
    std::wcsncpy(state.start, start.get(), 259);
    const win_string_param title_text(title);
    BROWSEINFOW info = {};
    info.hwndOwner = parent;
    info.lpszTitle = title_text.get();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    info.lpfn = &browse_callback;
    info.lParam = reinterpret_cast<LPARAM>(&state);
    pidl_holder chosen;
    *chosen.out() = SHBrowseForFolderW(&info);
    state.scope.leave();
    if (chosen.get() == nullptr) return false;
    wchar_t path[MAX_PATH + 1] = {};
    if (!SHGetPathFromIDListW(chosen.get(), path)) return false;
    folder = utf16_to_utf8_string(path);
    return true;
}

class system_shell_calls final : public shell_calls {
public:
    INT_PTR execute(HWND parent, const win_string_param& verb, const char* file) override {
        return reinterpret_cast<INT_PTR>(
            ShellExecuteW(parent, verb.get(), win_string_param(file).get(), nullptr, nullptr, SW_SHOW));
    }

    shell_select_result select_in_folder(const char* folder, const char* const* names, size_t count) override {
        com_ptr<IShellFolder> desktop;
        HRESULT hr = SHGetDesktopFolder(desktop.out());
        if (FAILED(hr)) return {shell_select_result::no_desktop, hr};
        pidl_holder folder_pidl;
        const win_string_param folder_text(folder);
        hr = desktop->ParseDisplayName(nullptr, nullptr, const_cast<LPWSTR>(folder_text.get()), nullptr,
                                       folder_pidl.out(), nullptr);
        if (FAILED(hr)) return {shell_select_result::parse_folder, hr};
        com_ptr<IShellFolder> bound;
        hr = desktop->BindToObject(folder_pidl.get(), nullptr, iid_shell_folder, bound.out_void());
        if (FAILED(hr)) return {shell_select_result::bind_folder, hr};
        kpl::array<LPITEMIDLIST> items;
        items.resize_exact(uint32_t(count));
        struct free_items {
            kpl::array<LPITEMIDLIST>& items;
            ~free_items() {
                for (LPITEMIDLIST item : items) CoTaskMemFree(item);
            }
        } cleanup{items};
        for (size_t i = 0; i < count; ++i) {
            const win_string_param name(names[i]);
            hr = bound->ParseDisplayName(nullptr, nullptr, const_cast<LPWSTR>(name.get()), nullptr, &items[uint32_t(i)],
                                         nullptr);
            if (FAILED(hr)) return {shell_select_result::parse_item, hr};
        }
        hr = SHOpenFolderAndSelectItems(folder_pidl.get(), UINT(count),
                                        const_cast<LPCITEMIDLIST*>(items.data()), 0);
        return {shell_select_result::opened, hr};
    }

    bool pick_folder(HWND parent, const char* title, kpl::utf8_string& folder) override {
        if (is_windows_vista_or_later()) {
            try {
                return pick_with_item_dialog(parent, title, folder);
            } catch (const kpl::exception_not_implemented&) {
            }
        }
        return pick_with_folder_browser(parent, title, folder);
    }
};

system_shell_calls g_system_calls;
shell_calls* g_calls = &g_system_calls;

// The folders of the known folder's shell library; throws exception_com when there is no such library.
void library_folders(const kpl::guid& known_folder, kpl::string_array& out) {
    com_ptr<IShellLibrary> library;
    check_hresult(CoCreateInstance(clsid_shell_library, nullptr, CLSCTX_INPROC_SERVER, iid_shell_library,
                                   library.out_void()));
    check_hresult(library->LoadLibraryFromKnownFolder(reinterpret_cast<const GUID&>(known_folder), STGM_READ));
    com_ptr<IShellItemArray> folders;
    check_hresult(library->GetFolders(LFF_FORCEFILESYSTEM, iid_shell_item_array, folders.out_void()));
    DWORD count = 0;
    check_hresult(folders->GetCount(&count));
    for (DWORD i = 0; i < count; ++i) {
        com_ptr<IShellItem> item;
        check_hresult(folders->GetItemAt(i, item.out()));
        co_string path;
        check_hresult(item->GetDisplayName(SIGDN_FILESYSPATH, path.out()));
        out.append(utf16_to_utf8_string(path.get()));
    }
}

struct legacy_folder {
    kpl::guid known;
    int csidl;
};

const legacy_folder legacy_folders[] = {
    {{0x4BD8D571, 0x6D19, 0x48D3, {0xBE, 0x97, 0x42, 0x22, 0x20, 0x08, 0x0E, 0x43}}, CSIDL_MYMUSIC},
    {{0x33E28130, 0x4E1E, 0x4676, {0x83, 0x5A, 0x98, 0x39, 0x5C, 0x3B, 0xC3, 0xBB}}, CSIDL_MYPICTURES},
    {{0x18989B1D, 0x99B5, 0x455B, {0x84, 0x1C, 0xAB, 0x7C, 0x74, 0xE4, 0xDD, 0xFC}}, CSIDL_MYVIDEO},
    {{0xFDD39AD0, 0x238F, 0x46AF, {0xAD, 0xB4, 0x6C, 0x85, 0x48, 0x03, 0x69, 0xC7}}, CSIDL_PERSONAL},
};

}  // namespace

INT_PTR shell_execute(HWND parent, const win_string_param& verb, const char* file) {
    modal_scope scope;
    if (parent != nullptr) scope.enter(parent);
    return g_calls->execute(parent, verb, file);
}

shell_select_result shell_select_in_folder(const char* folder, const char* const* names, size_t count) {
    return g_calls->select_in_folder(folder, names, count);
}

bool pick_folder(HWND parent, const char* title, kpl::utf8_string& folder) {
    return g_calls->pick_folder(parent, title, folder);
}

bool known_folder_paths(const kpl::guid& known_folder, kpl::string_array& out) {
    kpl::string_array found;
    try {
        library_folders(known_folder, found);
    } catch (const exception_com&) {
        found.clear();
        const legacy_folder* legacy = nullptr;
        for (const legacy_folder& entry : legacy_folders)
            if (entry.known == known_folder) legacy = &entry;
        if (legacy == nullptr) return false;
        wchar_t path[MAX_PATH + 1] = {};
        if (FAILED(SHGetFolderPathW(nullptr, legacy->csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return false;
        found.append(utf16_to_utf8_string(path));
    }
    if (found.empty()) return false;
    out = found;
    return true;
}

shell_calls_override::shell_calls_override(shell_calls& calls) : m_previous(g_calls) { g_calls = &calls; }

shell_calls_override::~shell_calls_override() { g_calls = m_previous; }
