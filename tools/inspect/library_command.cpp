// The library command of vorn-inspect: the program's library manager and directory monitors over a profile
// folder, as the player runs them from start-up to shut-down.
//
// vorn-inspect library PROFILE [--folder DIR]... [--system-folders 0|1] [--monitor 0|1] [--rescan]
//                              [--watch SECONDS] [--events FILE] [--tracks]
//
// PROFILE is made when missing; its config.dat is loaded, then the options are applied (--folder, given
// once or more, replaces the watched-folder list; --system-folders and --monitor set the two options) and
// stay stored. The library starts, a listener registers (loading the library, as the first view does) and
// the tool pumps the main-thread queue until the library is settled: every monitor finished, not busy and
// caught up with the disk (nothing waiting to be read or handed on), nothing queued, and no file read,
// report or busy change for 0.2 seconds (1.5 seconds for a monitor that cannot tell whether it caught up). --rescan then runs "Refresh
// music folders now" and waits again; --watch keeps running SECONDS more. Then database.dat and config.dat
// are saved as shut-down saves them, and the library unloads.
//
// Output lines are a keyword and fields separated by TABs:
//     event MS added|removed|modified N     per listener call: milliseconds since the start, track count
//     event MS indexing 0|1
//     folder KEY                             per watched folder
//     stored N                               tracks handed over from database.dat
//     read N                                 files whose information was read
//     items N                                tracks in the library at the end
//     load-ms N                              the load (reading database.dat, starting the monitors)
//     index-ms N                             from the start to the last activity of the first wait
//     memory BEFORE AFTER                    private bytes before the start and before the unload
//     track PATH SUBSONG TITLE ARTIST ALBUM-ARTIST GENRE ALBUM TRACK DISC DATE     (--tracks; by path
//                                            bytes, then subsong; PATH without "file://")
// --events FILE appends the event lines to FILE as they happen, and "ready" when the first wait ends.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/services/config_store.h"
#include "foundation/services/profile_folder.h"
#include "foundation/services/service_registry.h"
#include "library/library_manager.h"
#include "library/media_library.h"
#include "metadata/browse_fields.h"
#include "metadata/track_handle.h"
#include "shell/hidden_window.h"
#include "shell/main_thread_queue.h"
#include "tools/inspect/inspect_command.h"

namespace {

// Quiet time before the library counts as settled: short when every monitor says it caught up with the disk,
// longer for monitors that cannot say.
constexpr DWORD k_settled_quiet_ms = 200;
constexpr DWORD k_quiet_ms = 1500;

[[noreturn]] void bad_argument(const char* what, const char* text) {
    kpl::utf8_string_pow2 message(what);
    message << ": " << text;
    throw kpl::exception_invalid_params(message.c_str());
}

bool parse_switch(const char* text, const char* what) {
    if (std::strcmp(text, "0") == 0) return false;
    if (std::strcmp(text, "1") == 0) return true;
    bad_argument(what, text);
}

std::wstring wide(const std::string& text) {
    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, text.c_str());
    return w.c_str();
}

// The folder and its missing parents.
void make_folder(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryW(wide(path.substr(0, at)).c_str(), nullptr);
    CreateDirectoryW(wide(path).c_str(), nullptr);
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw kpl::exception_with_message(("cannot make the profile folder " + path).c_str());
}

// Private bytes of this process (0 where the system cannot say).
uint64_t private_bytes() {
    struct counters_ex {
        DWORD cb;
        DWORD PageFaultCount;
        SIZE_T PeakWorkingSetSize, WorkingSetSize, QuotaPeakPagedPoolUsage, QuotaPagedPoolUsage,
            QuotaPeakNonPagedPoolUsage, QuotaNonPagedPoolUsage, PagefileUsage, PeakPagefileUsage, PrivateUsage;
    };
    typedef BOOL(WINAPI * memory_info_fn)(HANDLE, counters_ex*, DWORD);
    static memory_info_fn query = [] {
        HMODULE psapi = LoadLibraryW(L"psapi.dll");
        return psapi ? reinterpret_cast<memory_info_fn>(reinterpret_cast<void*>(GetProcAddress(psapi, "GetProcessMemoryInfo")))
                     : nullptr;
    }();
    counters_ex c = {};
    c.cb = sizeof(c);
    if (!query || !query(GetCurrentProcess(), &c, sizeof(c))) return 0;
    return c.PrivateUsage ? c.PrivateUsage : c.PagefileUsage;
}

class event_log final : public library_change_listener {
public:
    event_log(inspect_output& out, DWORD start, const char* file) : m_out(out), m_start(start) {
        if (file) {
            m_file = CreateFileW(wide(file).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, 0, nullptr);
            if (m_file == INVALID_HANDLE_VALUE) bad_argument("cannot open --events", file);
        }
    }
    ~event_log() {
        if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    }

    void on_items_added(const library_track_list& t) override { event("added", t.count()); }
    void on_items_removed(const library_track_list& t) override { event("removed", t.count()); }
    void on_items_modified(const library_track_list& t) override { event("modified", t.count()); }
    void on_indexing_changed(bool on) override { event("indexing", on ? 1 : 0); }

    void append(const std::string& line) {
        if (m_file == INVALID_HANDLE_VALUE) return;
        std::string text = line + "\n";
        DWORD written = 0;
        WriteFile(m_file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    DWORD last_event() const { return m_last; }

private:
    void event(const char* what, uint32_t n) {
        m_last = GetTickCount();
        std::string line = "event\t" + std::to_string(m_last - m_start) + "\t" + what + "\t" + std::to_string(n);
        m_out.line(line.c_str());
        append(line);
    }

    inspect_output& m_out;
    DWORD m_start;
    DWORD m_last = 0;
    HANDLE m_file = INVALID_HANDLE_VALUE;
};

void pump_messages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    main_thread_queue::drain(false);
}

// Pumps until the library is settled (see the top); answers the tick of the last activity seen.
DWORD wait_settled(event_log& events) {
    DWORD last_activity = GetTickCount();
    uint32_t last_read = library_manager::stats().files_read;
    for (;;) {
        pump_messages();
        const DWORD now = GetTickCount();
        bool settled = main_thread_queue::pending() == 0, all_tell = true;
        for (const auto& f : library_manager::watched()) {
            if (f.busy || (f.monitor && !f.monitor->is_finished())) settled = false;
            service_ptr<directory_monitor_progress> progress;
            if (!f.monitor || !service_query(f.monitor, progress))
                all_tell = false;
            else if (!progress->is_settled())
                settled = false;
        }
        const DWORD quiet = all_tell ? k_settled_quiet_ms : k_quiet_ms;
        const uint32_t read = library_manager::stats().files_read;
        if (read != last_read) {
            last_read = read;
            last_activity = now;
        }
        if (events.last_event() && static_cast<int32_t>(events.last_event() - last_activity) > 0)
            last_activity = events.last_event();
        if (!settled) last_activity = std::max<DWORD>(last_activity, now);
        if (settled && now - last_activity >= quiet) return last_activity;
        Sleep(10);
    }
}

void pump_for(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        pump_messages();
        Sleep(10);
    }
}

struct hidden_window_scope {
    hidden_window_scope() { hidden_window_create(); }
    ~hidden_window_scope() {
        main_thread_queue::drain(true);
        hidden_window_destroy();
    }
};

struct track_line {
    std::string path;
    uint32_t subsong;
    std::string line;
};

int run_library(const inspect_arguments& args, inspect_output& out) {
    static const char* const options[] = {"folder", "system-folders", "monitor", "rescan", "watch", "events", "tracks",
                                          nullptr};
    args.expect(1, options);
    const std::string profile = inspect_path(args.required(0, "PROFILE")).c_str();
    double watch_seconds = 0;
    if (const char* text = args.option("watch")) {
        char* end = nullptr;
        watch_seconds = std::strtod(text, &end);
        if (!*text || *end || !(watch_seconds >= 0) || watch_seconds > 86400) bad_argument("bad --watch", text);
    }
    int system_folders = -1, monitor = -1;
    if (const char* text = args.option("system-folders")) system_folders = parse_switch(text, "bad --system-folders");
    if (const char* text = args.option("monitor")) monitor = parse_switch(text, "bad --monitor");
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());

    make_folder(profile);
    profile_folder::set(("file://" + profile).c_str());
    const kpl::utf8_string_pow2 config = config_store::program_location();
    config_store::program().load(config.c_str(), true);

    std::vector<std::string> folders;
    for (uint32_t i = 0; i < args.option_names.count(); ++i)
        if (args.option_names[i] == "folder") folders.push_back(inspect_path(args.option_values[i].c_str()).c_str());
    if (!folders.empty()) {
        kpl::string_array& list = cfg_library_folders.get();
        list.clear();
        for (const std::string& f : folders) list.append(f.c_str());
    }
    if (system_folders >= 0) cfg_use_windows_library_folders = system_folders != 0;
    if (monitor >= 0) cfg_monitor_library_folders = monitor != 0;

    const uint64_t memory_before = private_bytes();
    const DWORD start = GetTickCount();
    event_log events(out, start, args.option("events"));
    hidden_window_scope window;

    media_library::startup();
    service_ptr<media_library> library;
    service_class::get_single(library);
    library->register_listener(&events);
    const DWORD load_ms = GetTickCount() - start;

    const DWORD indexed = wait_settled(events);
    events.append("ready");
    if (args.has_option("rescan")) {
        library_manager::rescan_all();
        wait_settled(events);
    }
    if (watch_seconds > 0) pump_for(static_cast<DWORD>(watch_seconds * 1000));

    // As shut-down: every stored-data owner saves while the monitors still run.
    service_registry::notify_shutdown(false);
    const uint64_t memory_after = private_bytes();

    for (const auto& f : library_manager::watched()) out.line(("folder\t" + f.key).c_str());
    const library_manager::statistics stats = library_manager::stats();
    out.line(("stored\t" + std::to_string(stats.stored_tracks)).c_str());
    out.line(("read\t" + std::to_string(stats.files_read)).c_str());
    out.line(("items\t" + std::to_string(stats.items)).c_str());
    out.line(("load-ms\t" + std::to_string(load_ms)).c_str());
    out.line(("index-ms\t" + std::to_string(indexed - start)).c_str());
    out.line(("memory\t" + std::to_string(memory_before) + "\t" + std::to_string(memory_after)).c_str());

    if (args.has_option("tracks")) {
        kpl::array_list<track_handle_ref> all;
        library->list_all(all);
        std::vector<track_line> lines;
        for (uint32_t i = 0; i < all.count(); ++i) {
            const track_handle_ref& t = all.items()[i];
            track_line l;
            l.path = t->get_location().get_path();
            if (l.path.compare(0, 7, "file://") == 0) l.path.erase(0, 7);
            l.subsong = t->get_location().get_subsong();
            l.line = "track\t" + l.path + "\t" + std::to_string(l.subsong);
            browse_fields_builder fields;
            t->copy_browse_fields(fields);
            for (uint32_t f = 0; f < browse_field_count; ++f) l.line += std::string("\t") + fields.get(f);
            lines.push_back(l);
        }
        std::sort(lines.begin(), lines.end(), [](const track_line& a, const track_line& b) {
            return a.path != b.path ? a.path < b.path : a.subsong < b.subsong;
        });
        for (const track_line& l : lines) out.line(l.line.c_str());
    }

    library->unregister_listener(&events);
    media_library::unload();
    return 0;
}

inspect_command g_library("library",
                          "PROFILE [--folder DIR]... [--system-folders 0|1] [--monitor 0|1] [--rescan] "
                          "[--watch SECONDS] [--events FILE] [--tracks]",
                          "runs the library manager and monitors over a profile folder until settled; prints events, "
                          "counts and tracks",
                          &run_library);

}  // namespace
