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

#include "foundation/services/service_registry.h"
#include "library/library_manager.h"
#include "library/media_library.h"
#include "metadata/browse_fields.h"
#include "metadata/track_handle.h"
#include "tools/inspect/inspect_command.h"
#include "tools/inspect/library_session.h"

namespace {

bool parse_switch(const char* text, const char* what) {
    if (std::strcmp(text, "0") == 0) return false;
    if (std::strcmp(text, "1") == 0) return true;
    inspect_bad_argument(what, text);
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

class event_log final : public library_change_listener, public library_activity {
public:
    event_log(inspect_output& out, DWORD start, const char* file) : m_out(out), m_start(start), m_file(file) {}

    void on_items_added(const library_track_list& t) override { event("added", t.count()); }
    void on_items_removed(const library_track_list& t) override { event("removed", t.count()); }
    void on_items_modified(const library_track_list& t) override { event("modified", t.count()); }
    void on_indexing_changed(bool on) override { event("indexing", on ? 1 : 0); }

    void append(const std::string& line) { m_file.append(line); }
    DWORD last_activity() const override { return m_last; }

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
    event_file m_file;
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
    const double watch_seconds = watch_seconds_option(args);
    int system_folders = -1, monitor = -1;
    if (const char* text = args.option("system-folders")) system_folders = parse_switch(text, "bad --system-folders");
    if (const char* text = args.option("monitor")) monitor = parse_switch(text, "bad --monitor");

    open_profile(profile);
    std::vector<std::string> folders = option_values(args, "folder");
    for (std::string& f : folders) f = inspect_path(f.c_str()).c_str();
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
    library_session session(&events);
    media_library* library = &session.library();
    const DWORD load_ms = GetTickCount() - start;

    const DWORD indexed = wait_library_settled(events);
    events.append("ready");
    if (args.has_option("rescan")) {
        library_manager::rescan_all();
        wait_library_settled(events);
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
    return 0;
}

inspect_command g_library("library",
                          "PROFILE [--folder DIR]... [--system-folders 0|1] [--monitor 0|1] [--rescan] "
                          "[--watch SECONDS] [--events FILE] [--tracks]",
                          "runs the library manager and monitors over a profile folder until settled; prints events, "
                          "counts and tracks",
                          &run_library);

}  // namespace
