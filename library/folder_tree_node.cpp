// The folder tree: drives, folder listings, covers, titles and the watcher of the shown folder.
#include "library/folder_tree_node.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/win32_errors.h"
#include "library/logical_sort.h"
#include "shell/main_thread_queue.h"

namespace {

const wchar_t* const k_cover_names[] = {L"front cover.jpg", L"front.jpg", L"cover.jpg", L"folder.jpg"};

bool is_drive(const std::wstring& c) {
    return c.size() == 2 && c[0] >= L'A' && c[0] <= L'Z' && c[1] == L':';
}

}  // namespace

std::wstring drive_label(const std::wstring& root) {
    wchar_t label[261] = {0};
    if (!GetVolumeInformationW(root.c_str(), label, 261, nullptr, nullptr, nullptr, nullptr, 0)) return L"";
    return label;
}

// Who a posted notice reaches: the node while it lives, nobody after.
class folder_tree_node::notice_target {
public:
    explicit notice_target(folder_tree_node* node) : node(node) {}
    folder_tree_node* node;  // main thread only
};

namespace {

class change_notice final : public service_counted<main_thread_callback> {
public:
    change_notice(std::shared_ptr<folder_tree_node::notice_target> target, uint32_t generation)
        : m_target(std::move(target)), m_generation(generation) {}
    void run() override {
        try {
            if (m_target->node) m_target->node->on_change_notice(m_generation);
        } catch (...) {
            // A folder that cannot be listed any more stays as it was shown.
        }
    }

private:
    std::shared_ptr<folder_tree_node::notice_target> m_target;
    uint32_t m_generation;
};

}  // namespace

// One thread watching one folder (no subtree) for names, folders and attributes.
class folder_tree_node::watcher final : public kpl::thread {
public:
    watcher() {
        m_stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~watcher() override {
        stop();
        CloseHandle(m_stop_event);
        CloseHandle(m_started);
    }

    void start_watching(const std::wstring& path, const std::shared_ptr<notice_target>& target, uint32_t generation) {
        stop();
        m_path = path;
        m_target = target;
        m_generation = generation;
        m_stop = false;
        ResetEvent(m_stop_event);
        ResetEvent(m_started);
        try {
            start(THREAD_PRIORITY_NORMAL);
        } catch (const kpl::thread::exception_creation&) {
            exception_win32::throw_last_error();
        }
        WaitForSingleObject(m_started, INFINITE);
    }

    void stop() {
        m_stop = true;
        SetEvent(m_stop_event);
        wait_and_close();
    }

private:
    void body() override {
        HANDLE folder = CreateFileW(m_path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        if (folder == INVALID_HANDLE_VALUE) {
            SetEvent(m_started);
            return;
        }
        HANDLE changed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::vector<char> buffer(65536);
        bool signalled = false;
        for (;;) {
            OVERLAPPED overlapped = {};
            overlapped.hEvent = changed;
            ResetEvent(changed);
            DWORD bytes = 0;
            const BOOL issued = ReadDirectoryChangesW(folder, buffer.data(), static_cast<DWORD>(buffer.size()), FALSE,
                                                      FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                                          FILE_NOTIFY_CHANGE_ATTRIBUTES,
                                                      nullptr, &overlapped, nullptr);
            if (!signalled) {
                SetEvent(m_started);
                signalled = true;
            }
            if (!issued) break;
            HANDLE waits[2] = {changed, m_stop_event};
            const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            if (woke != WAIT_OBJECT_0) {
                CancelIo(folder);
                GetOverlappedResult(folder, &overlapped, &bytes, TRUE);
                break;
            }
            if (!GetOverlappedResult(folder, &overlapped, &bytes, FALSE)) break;
            if (m_stop) break;
            change_notice* notice = new change_notice(m_target, m_generation);
            main_thread_queue::post(notice);
            notice->release();
        }
        if (!signalled) SetEvent(m_started);
        CloseHandle(changed);
        CloseHandle(folder);
    }

    std::wstring m_path;
    std::shared_ptr<notice_target> m_target;
    uint32_t m_generation = 0;
    volatile bool m_stop = false;
    HANDLE m_stop_event;
    HANDLE m_started;
};

folder_tree_node::folder_tree_node(library_view_host& host, const node_path& path)
    : m_host(host), m_watcher(new watcher), m_target(std::make_shared<notice_target>(this)) {
    try {
        set_path(path);
    } catch (...) {
        delete m_watcher;
        m_target->node = nullptr;
        throw;
    }
}

folder_tree_node::~folder_tree_node() {
    delete m_watcher;  // stops and waits for the thread
    m_target->node = nullptr;
}

key_list folder_tree_node::selection_to_here() {
    key_list out;
    if (!m_path.empty()) out.append(list_text(m_path.back()));
    return out;
}

void folder_tree_node::set_path(const node_path& path) {
    m_path.clear();
    for (const key_list& level : path)
        if (!level.empty()) m_path.push_back(level.front().text());
    refresh();
}

void folder_tree_node::get_path(node_path& out) {
    out.clear();
    for (const std::wstring& c : m_path) {
        key_list level;
        level.append(list_text(c));
        out.push_back(level);
    }
}

bool folder_tree_node::can_open(const key_list& selection) {
    return selection.count() == 1 && !is_file(selection.front());
}

bool folder_tree_node::item_contains_track(const list_text& key, const track_handle* handle) {
    const auto found = m_files.find(key.text());
    return found != m_files.end() && found->second.get() == handle;
}

void folder_tree_node::get_tracks_of(const key_list& selection, track_list& out) {
    kpl::list_remove_all(out);
    for (const list_text& key : selection) {
        const auto found = m_files.find(key.text());
        if (found != m_files.end()) out.append(found->second);
    }
}

void folder_tree_node::go_up() {
    if (m_path.empty()) return;
    m_path.pop_back();
    refresh();
}

void folder_tree_node::open(const key_list& selection) {
    if (selection.count() != 1) return;
    const std::wstring key = selection.front().text();
    if (m_path.empty()) {
        if (key.size() < 2 || key[0] < L'A' || key[0] > L'Z' || key[1] != L':') return;
        m_path.push_back(key.substr(0, 2));
    } else {
        m_path.push_back(key);
    }
    refresh();
}

void folder_tree_node::get_all_tracks(track_list& out) {
    kpl::list_remove_all(out);
    for (const list_text& key : m_items) {
        const auto found = m_files.find(key.text());
        if (found != m_files.end()) out.append(found->second);
    }
}

std::wstring folder_tree_node::folder_text() const {
    std::wstring out;
    for (size_t i = 0; i < m_path.size(); ++i) {
        if (i) out += L"\\";
        out += m_path[i];
    }
    if (m_path.size() == 1 && is_drive(m_path[0])) out += L"\\";
    return out;
}

void folder_tree_node::refresh() {
    m_cover.clear();
    m_watcher->stop();
    m_files.clear();
    m_items.clear();
    if (m_path.empty()) {
        wchar_t buffer[1024] = {0};
        const DWORD n = GetLogicalDriveStringsW(1023, buffer);
        std::vector<list_text> drives;
        if (n > 0 && n < 1024) {
            for (const wchar_t* d = buffer; *d; d += wcslen(d) + 1) {
                std::wstring item = d;
                const std::wstring label = drive_label(d);
                if (!label.empty()) item += L" [" + label + L"]";
                drives.push_back(list_text(item));
            }
        }
        sort_logical(drives);
        for (const list_text& d : drives) m_items.append(d);
        return;
    }
    ++m_generation;
    std::wstring folder = folder_text();
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    m_watcher->start_watching(folder_text(), m_target, m_generation);
    std::vector<list_text> folders, files;
    int cover_rank = 4;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return;
        throw exception_win32(error);
    }
    do {
        if (data.cFileName[0] == L'.' || (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)) continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            folders.push_back(list_text(data.cFileName));
            continue;
        }
        const std::wstring full = folder + L"\\" + data.cFileName;
        for (int rank = 0; rank < cover_rank; ++rank)
            if (lstrcmpiW(data.cFileName, k_cover_names[rank]) == 0) {
                cover_rank = rank;
                m_cover = L"file://" + full;
            }
        if (!track_list_is_playable(data.cFileName)) continue;
        files.push_back(list_text(data.cFileName));
        track_handle_ref handle;
        const std::string url = std::string("file://") + kpl::utf8_string_from_utf16(full.c_str()).c_str();
        track_handle_registry::get().get_handle(handle, track_location(url.c_str(), 0));
        m_files[data.cFileName] = handle;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    sort_logical(folders);
    sort_logical(files);
    for (const list_text& f : folders) m_items.append(f);
    for (const list_text& f : files) m_items.append(f);
}

void folder_tree_node::on_change_notice(uint32_t generation) {
    if (generation != m_generation) return;
    // One change on disk often comes as several notices (a file made, then written, then its attributes
    // set), and many changes (a text file, a picture, attributes) leave the listing as it was: the host
    // hears only of a listing that differs.
    const list_text_list before = m_items;
    refresh();
    if (m_items != before) m_host.on_items_changed();
}

void folder_tree_node::get_title(navigation_text& out) {
    out.clear();
    if (m_path.empty()) {
        out.append_escaped("My computer");
        return;
    }
    if (m_path.size() == 1 && is_drive(m_path[0])) {
        std::wstring text = m_path[0];
        const std::wstring label = drive_label(m_path[0] + L"\\");
        if (!label.empty()) text += L" [" + label + L"]";
        out.append_text(text.c_str());
        return;
    }
    view_path target;
    target.kind = 1;
    for (size_t i = 0; i < m_path.size(); ++i) {
        if (i) out.append_escaped(" \\ ");
        key_list level;
        level.append(list_text(m_path[i]));
        target.path.push_back(level);
        if (i + 1 < m_path.size())
            out.append_link(m_path[i].c_str(), target);
        else
            out.append_text(m_path[i].c_str());
    }
}

bool folder_tree_node::get_explorer_path(std::wstring& out) {
    if (m_path.empty()) return false;
    out = folder_text();
    return true;
}

bool folder_tree_node::find_picture(std::wstring& out) {
    if (m_cover.empty()) return false;
    out = m_cover.substr(7);
    return true;
}

item_enumerator_ref folder_tree_node::create_item_track_list(const key_list& selection) {
    std::vector<item_enumerator_ref> members;
    std::wstring folder = folder_text();
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    for (const list_text& key : selection) {
        const auto found = m_files.find(key.text());
        if (found != m_files.end()) {
            track_list one;
            one.append(found->second);
            members.push_back(track_list_create(one));
        } else if (!m_path.empty()) {
            members.push_back(track_list_folder(folder + L"\\" + key.text()));
        }
    }
    return track_list_chain(members);
}
