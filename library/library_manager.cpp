// The library manager: the effective folder list, one directory monitor per distinct folder, the set of
// tracks they report, the listeners and the lazy load of "database.dat". Everything here runs on the main
// thread except a callback's accepts_file and on_busy_changed, which only touch their own counters and flag.
#include "library/library_manager.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "foundation/fs/local_filesystem.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/string_array.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/shell.h"
#include "foundation/win32/system_paths.h"
#include "foundation/win32/win_string.h"
#include "library/library_store.h"
#include "shell/app_state.h"
#include "shell/debug_log.h"
#include "shell/main_thread_queue.h"
#include "shell/ui_state_service.h"

// {F44473BB-9025-4204-AFB5-8F46C2102298}
config_bool cfg_use_windows_library_folders({0xF44473BB, 0x9025, 0x4204, {0xAF, 0xB5, 0x8F, 0x46, 0xC2, 0x10, 0x22, 0x98}},
                                            true);
// {5AA02BF0-431E-4460-B1F0-9EE74D02754F}
config_string_list cfg_library_folders({0x5AA02BF0, 0x431E, 0x4460, {0xB1, 0xF0, 0x9E, 0xE7, 0x4D, 0x02, 0x75, 0x4F}});
// {A0AA0DBF-C6D0-4DB7-BC23-E2AF96BDBEC4}
config_bool cfg_monitor_library_folders({0xA0AA0DBF, 0xC6D0, 0x4DB7, {0xBC, 0x23, 0xE2, 0xAF, 0x96, 0xBD, 0xBE, 0xC4}},
                                        true);

namespace {

constexpr kpl::guid music_library_folder = {0x2112AB0A, 0xC86A, 0x4FFE, {0xA3, 0x68, 0x0D, 0xE9, 0x6E, 0x47, 0x01, 0x2E}};
constexpr kpl::guid music_known_folder = {0x4BD8D571, 0x6D19, 0x48D3, {0xBE, 0x97, 0x42, 0x22, 0x20, 0x08, 0x0E, 0x43}};
constexpr kpl::guid folders_page = {0x2D269FA9, 0x6F78, 0x4CEC, {0x9F, 0x1F, 0x0A, 0x17, 0x6E, 0xFC, 0xE7, 0x7A}};

class folder_callback;

struct watched_folder {
    std::string url;
    uint32_t flags = 0;
    service_ptr<folder_callback> callback;
    service_ptr<directory_monitor_instance> monitor;
};

// An item and the watched folders that currently report it: nearly always one, held without a list of its
// own (there is one entry per track of the library).
struct item_entry {
    track_handle_ref track;
    folder_callback* folder = nullptr;                       // the first of them; null: none
    std::unique_ptr<std::vector<folder_callback*>> others;  // overlapping folders that report it too

    bool has(const folder_callback* f) const {
        return folder == f || (others && std::find(others->begin(), others->end(), f) != others->end());
    }
    void add(folder_callback* f) {
        if (!folder) {
            folder = f;
            return;
        }
        if (!others) others.reset(new std::vector<folder_callback*>);
        others->push_back(f);
    }
    // False when `f` did not report it.
    bool remove(const folder_callback* f) {
        if (folder == f) {
            folder = nullptr;
            if (others && !others->empty()) {
                folder = others->back();
                others->pop_back();
            }
        } else {
            if (!others) return false;
            auto it = std::find(others->begin(), others->end(), f);
            if (it == others->end()) return false;
            others->erase(it);
        }
        if (others && others->empty()) others.reset();
        return true;
    }
};

struct manager_state {
    std::vector<std::string> effective;
    std::map<std::string, watched_folder> folders;
    std::map<track_handle*, item_entry> items;
    std::vector<library_change_listener*> listeners;
    volatile bool indexing = false;
    bool loaded = false;
    library_manager::seams seam;
    uint32_t stored_tracks = 0;
    volatile LONG files_read = 0;
};

// Never destroyed: monitor threads and queued callbacks may still look at it while the process ends.
manager_state& state() {
    static manager_state* s = new manager_state;
    return *s;
}

template <class Call>
void for_each_listener(Call call) {
    // A listener may unregister (itself or another) while it is told: walk a copy, and skip one that left.
    std::vector<library_change_listener*> listeners = state().listeners;
    for (library_change_listener* l : listeners) {
        const auto& now = state().listeners;
        if (std::find(now.begin(), now.end(), l) != now.end()) call(l);
    }
}

class indexing_update final : public service_counted<main_thread_callback> {
public:
    void run() override;
};

// The object each monitor reports to: the tracks it reported, whether the folder is still watched, and
// whether the monitor is busy.
class folder_callback final : public service_counted<folder_monitor_callback> {
public:
    bool accepts_file(const char*) override {
        InterlockedIncrement(&state().files_read);
        return true;
    }
    void on_items_added(const library_track_list& tracks) override {
        if (!m_disabled) add(tracks);
    }
    void on_items_removed(const library_track_list& tracks) override {
        if (!m_disabled) remove(tracks);
    }
    void on_busy_changed(bool busy) override {
        const LONG value = busy ? 1 : 0;
        if (InterlockedExchange(&m_busy, value) == value) return;
        indexing_update* update = new indexing_update;
        try {
            main_thread_queue::post(update);
        } catch (...) {
        }
        update->release();
    }

    bool busy() const { return m_busy != 0; }

    void add(const library_track_list& tracks) {
        kpl::array_list<track_handle_ref> added;
        const uint32_t n = tracks.count();
        for (uint32_t i = 0; i < n; ++i) {
            track_handle_ref track = tracks.get_item(i);
            if (!track) continue;
            item_entry& entry = state().items[track.get()];
            if (entry.has(this)) continue;
            const bool first = !entry.folder;
            entry.add(this);
            if (first) {
                entry.track = track;
                added.append(track);
            }
        }
        if (added.count()) for_each_listener([&](library_change_listener* l) { l->on_items_added(added); });
    }

    void remove(const library_track_list& tracks) {
        kpl::array_list<track_handle_ref> removed;
        const uint32_t n = tracks.count();
        for (uint32_t i = 0; i < n; ++i) {
            track_handle_ref track = tracks.get_item(i);
            if (!track) continue;
            auto it = state().items.find(track.get());
            if (it == state().items.end() || !it->second.remove(this)) continue;
            if (!it->second.folder) {
                removed.append(it->second.track);
                state().items.erase(it);
            }
        }
        if (removed.count()) for_each_listener([&](library_change_listener* l) { l->on_items_removed(removed); });
    }

    // The folder is no longer watched: later reports are ignored and everything it reported goes.
    void stop() {
        m_disabled = true;
        kpl::array_list<track_handle_ref> all;
        for (auto& item : state().items)
            if (item.second.has(this)) all.append(item.second.track);
        remove(all);
    }

private:
    bool m_disabled = false;
    volatile LONG m_busy = 0;
};

void update_indexing() {
    manager_state& s = state();
    bool any = false;
    for (auto& f : s.folders)
        if (f.second.callback && f.second.callback->busy()) any = true;
    if (any == s.indexing) return;
    s.indexing = any;
    for_each_listener([&](library_change_listener* l) { l->on_indexing_changed(any); });
}

void indexing_update::run() { update_indexing(); }

directory_monitor& monitor_service() {
    if (state().seam.monitors) return *state().seam.monitors;
    static service_ptr<directory_monitor> service;
    if (!service) service_class::get_single(service);
    return *service;
}

std::string program_folder() {
    const manager_state& s = state();
    if (!s.seam.program_folder.empty()) return s.seam.program_folder;
    kpl::utf8_string_pow2 path;
    if (app_state.program_path.length())
        path = app_state.program_path.c_str();
    else
        get_program_path(path);
    std::string text(path.c_str(), path.length());
    const size_t cut = text.find_last_of("/:\\|");
    return cut == std::string::npos ? std::string() : text.substr(0, cut + 1);
}

bool portable() {
    const int p = state().seam.portable;
    return p < 0 ? app_state.portable_library : p != 0;
}

void start_monitor(watched_folder& folder, file_stream* stored, uint32_t flags) {
    service_ptr<folder_callback> callback;
    callback.assign(new folder_callback);
    callback->release();  // the new object's own count now belongs to `callback`
    folder.callback = callback;
    if (stored) stored->seek(0, abort_never);
    folder.flags = flags;
    library_track_array initial;
    monitor_service().create_monitor(folder.monitor, callback.get(), folder.url.c_str(), stored, flags, initial);
    state().stored_tracks += initial.count();
    if (initial.count()) callback->on_items_added(initial);
}

void ensure_loaded() {
    main_thread::assert_current();
    manager_state& s = state();
    if (s.loaded) return;
    // Set first: a listener told about the first items may ask the library again.
    s.loaded = true;
    try {
        library_stored_states stored;
        std::string error;
        const std::string location = library_store::location();
        if (!library_store::load(location.c_str(), stored, &error)) {
            std::string line("Library file could not be read (");
            line += error + "); its folders are read again and the file replaced at the next save";
            debug_log(line.c_str());
        }
        media_library::apply_folder_list(stored);
    } catch (...) {
        media_library::unload();
        throw;
    }
}

class library_service final : public service_static<media_library> {
public:
    bool contains(const track_handle_ref& track) override {
        ensure_loaded();
        return track && state().items.count(track.get()) != 0;
    }
    void enumerate(library_enum_callback& callback) override {
        kpl::array_list<track_handle_ref> all;
        list_all(all);
        for (uint32_t i = 0; i < all.count(); ++i)
            if (!callback.on_item(all.items()[i])) break;
    }
    void list_all(library_track_list& out) override {
        ensure_loaded();
        kpl::array_list<track_handle_ref> all;
        for (auto& item : state().items) all.append(item.second.track);
        kpl::list_remove_all(out);
        out.insert_from(all, 0);
    }
    void show_preferences() override {
        service_ptr<ui_state_service> ui;
        service_class::get_single(ui);
        ui->show_preferences(folders_page);
    }
    void register_listener(library_change_listener* listener) override {
        ensure_loaded();
        state().listeners.push_back(listener);
    }
    void unregister_listener(library_change_listener* listener) override {
        ensure_loaded();
        auto& l = state().listeners;
        for (size_t i = l.size(); i-- > 0;)
            if (l[i] == listener) l.erase(l.begin() + static_cast<std::ptrdiff_t>(i));
    }
    bool is_indexing() override { return state().indexing; }
};

service_factory_single<library_service, media_library> g_library;

}  // namespace

void media_library::startup() {
    manager_state& s = state();
    s.effective.clear();
    if (portable()) {
        s.effective.push_back(".");
    } else if (cfg_use_windows_library_folders) {
        std::vector<std::string> system;
        if (s.seam.system_folders)
            s.seam.system_folders(system);
        else
            library_manager::system_music_folders(system);
        for (const std::string& path : system) {
            kpl::utf8_string_pow2 canonical;
            if (local_filesystem::canonicalize(path.c_str(), canonical, false) &&
                std::strncmp(canonical.c_str(), "file://", 7) == 0)
                s.effective.push_back(std::string(canonical.c_str() + 7));
            else
                s.effective.push_back(path);
        }
    }
    const kpl::string_array& configured = cfg_library_folders.get();
    for (uint32_t i = 0; i < configured.count(); ++i)
        s.effective.push_back(std::string(configured[i].c_str(), configured[i].length()));
}

void media_library::apply_folder_list(const library_stored_states& stored) {
    manager_state& s = state();
    const std::set<std::string> wanted(s.effective.begin(), s.effective.end());
    for (auto it = s.folders.begin(); it != s.folders.end();) {
        if (wanted.count(it->first)) {
            ++it;
            continue;
        }
        if (it->second.callback) it->second.callback->stop();
        it = s.folders.erase(it);
    }

    const uint32_t flags = cfg_monitor_library_folders ? 0u : 6u;
    for (const std::string& key : s.effective) {
        auto found = s.folders.find(key);
        if (found != s.folders.end()) {
            watched_folder& f = found->second;
            if (f.flags == flags) continue;
            const bool watch_changed = ((f.flags ^ flags) & directory_monitor_no_watch) != 0;
            f.flags = flags;
            if (watch_changed && f.monitor)
                f.monitor->set_flags((flags & directory_monitor_no_watch) ? flags : flags & ~directory_monitor_skip_rescan);
            continue;
        }
        watched_folder& f = s.folders[key];
        try {
            f.url = library_manager::folder_url(key);
            auto state_of = stored.find(key);
            if (state_of != stored.end() && state_of->second) {
                try {
                    start_monitor(f, state_of->second.get(), flags);
                } catch (const std::exception& e) {
                    std::string line("Stored state of ");
                    line += key + " could not be read (" + e.what() + "); the folder is read again";
                    debug_log(line.c_str());
                    start_monitor(f, nullptr, flags);
                }
            } else {
                start_monitor(f, nullptr, flags);
            }
        } catch (...) {
            if (f.callback) f.callback->stop();
            s.folders.erase(key);
            throw;
        }
    }
}

void media_library::unload() {
    manager_state& s = state();
    s.loaded = false;
    for (auto& f : s.folders)
        if (f.second.callback) f.second.callback->stop();
    // Monitors end here: each release stops its thread.
    s.folders.clear();
    s.items.clear();
    update_indexing();
}

bool media_library::is_loaded() { return state().loaded; }

namespace library_manager {

void set_seams(const seams& replacement) { state().seam = replacement; }

void system_music_folders(std::vector<std::string>& out) {
    kpl::string_array paths;
    if (known_folder_paths(music_library_folder, paths)) {
        for (uint32_t i = 0; i < paths.count(); ++i) out.push_back(std::string(paths[i].c_str(), paths[i].length()));
        return;
    }
    typedef HRESULT(WINAPI * known_folder_path_fn)(const GUID&, DWORD, HANDLE, wchar_t**);
    HMODULE shell = GetModuleHandleW(L"shell32.dll");
    auto known_folder_path =
        shell ? reinterpret_cast<known_folder_path_fn>(reinterpret_cast<void*>(GetProcAddress(shell, "SHGetKnownFolderPath")))
              : nullptr;
    if (known_folder_path) {
        wchar_t* path = nullptr;
        if (SUCCEEDED(known_folder_path(reinterpret_cast<const GUID&>(music_known_folder), 0, nullptr, &path)) && path)
            out.push_back(utf16_to_utf8_string(path).c_str());
        if (path) CoTaskMemFree(path);
        return;
    }
    wchar_t path[MAX_PATH + 1] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_MYMUSIC, nullptr, SHGFP_TYPE_CURRENT, path)))
        out.push_back(utf16_to_utf8_string(path).c_str());
}

std::string folder_url(const std::string& key) {
    std::string url("file://");
    url += key == "." ? program_folder() : key;
    if (url.size() > 1 && url.back() == '\\') {
        const char before = url[url.size() - 2];
        if (before != ':' && before != '\\') url.pop_back();
    }
    return url;
}

const std::vector<std::string>& effective_list() { return state().effective; }

std::vector<watched_folder_view> watched() {
    std::vector<watched_folder_view> out;
    for (auto& f : state().folders)
        out.push_back({f.first, f.second.url, f.second.flags, f.second.monitor.get(),
                       f.second.callback && f.second.callback->busy()});
    return out;
}

statistics stats() {
    statistics out;
    out.stored_tracks = state().stored_tracks;
    out.files_read = static_cast<uint32_t>(state().files_read);
    out.items = static_cast<uint32_t>(state().items.size());
    return out;
}

void save(bool reset) {
    manager_state& s = state();
    if (!s.loaded && !reset) return;
    const std::string location = library_store::location();
    if (reset) {
        library_store::remove(location.c_str());
        return;
    }
    std::vector<library_store::record> records;
    for (auto& f : s.folders) {
        directory_monitor_instance* monitor = f.second.monitor.get();
        records.push_back({f.first, [monitor](byte_sink& out, const abort_signal& abort) {
                               if (monitor) monitor->save_state(out, abort);
                           }});
    }
    library_store::save(location.c_str(), records);
}

void toggle_monitoring() {
    cfg_monitor_library_folders = !cfg_monitor_library_folders;
    if (state().loaded) media_library::apply_folder_list(library_stored_states());
}

void rescan_all() {
    if (cfg_monitor_library_folders) return;
    ensure_loaded();
    for (auto& f : state().folders)
        if (f.second.monitor) f.second.monitor->set_flags(f.second.flags & ~directory_monitor_skip_rescan);
}

void on_info_changed(const library_track_list& tracks) {
    manager_state& s = state();
    if (s.items.empty()) return;
    kpl::array_list<track_handle_ref> hit;
    const uint32_t n = tracks.count();
    for (uint32_t i = 0; i < n; ++i) {
        track_handle_ref track = tracks.get_item(i);
        if (track && s.items.count(track.get())) hit.append(track);
    }
    if (hit.count()) for_each_listener([&](library_change_listener* l) { l->on_items_modified(hit); });
}

}  // namespace library_manager
