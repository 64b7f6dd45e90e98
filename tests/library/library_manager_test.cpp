// The library manager over a fake directory monitor: the effective folder list, one monitor per distinct
// folder, flags, URLs, items reported by overlapping folders, listeners, indexing, the menu commands, the
// lazy load and "database.dat" at load and save.
#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "foundation/fs/file_system.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/profile_folder.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/thread.h"
#include "foundation/win32/window_text.h"
#include "library/library_manager.h"
#include "library/library_store.h"
#include "library/media_library.h"
#include "metadata/info_change_notify.h"
#include "shell/command_model.h"
#include "shell/localization.h"
#include "shell/main_thread_queue.h"
#include "tests/metadata/crash_probe.h"
#include "tests/shell/shell_fixtures.h"

namespace {

track_handle_ref track(const std::string& path, uint32_t subsong = 0) {
    track_handle_ref out;
    track_handle_registry::get().get_handle(out, track_location(path.c_str(), subsong));
    return out;
}

kpl::array_list<track_handle_ref> tracks(const std::vector<track_handle_ref>& list) {
    kpl::array_list<track_handle_ref> out;
    for (const auto& t : list) out.append(t);
    return out;
}

std::vector<std::string> names(const library_track_list& list) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < list.count(); ++i) out.push_back(list.get_item(i)->get_location().get_path());
    std::sort(out.begin(), out.end());
    return out;
}

// A monitor that records what it was told; its state is "<url>|" followed by the paths it stored.
class fake_monitor final : public service_counted<directory_monitor_instance> {
public:
    std::string url;
    std::vector<uint32_t> flags;  // at creation, then each set_flags
    std::string stored;           // the state it was created from
    service_ptr<folder_monitor_callback> callback;

    void save_state(byte_sink& out, const abort_signal& abort) override {
        std::string state = "state of " + url;
        out.write(state.data(), state.size(), abort);
    }
    bool is_finished() override { return true; }
    void set_flags(uint32_t f) override { flags.push_back(f); }
};

class fake_monitor_service final : public service_static<directory_monitor> {
public:
    std::vector<service_ptr<fake_monitor>> made;
    // Per URL: tracks reported as stored when created from a state, and whether creating fails at all.
    std::map<std::string, std::vector<track_handle_ref>> stored_tracks;
    std::string fail_url;

    void create_monitor(service_ptr<directory_monitor_instance>& out, folder_monitor_callback* callback, const char* root,
                        file_stream* stored, uint32_t flags, library_track_list& initial) override {
        if (fail_url == root) throw ketrel_io::exception_io_denied();
        std::string state;
        if (stored) {
            state.resize(static_cast<size_t>(stored->get_size(abort_never)));
            if (!state.empty()) stored->read_exact(&state[0], state.size(), abort_never);
            if (state == "damaged") throw ketrel_io::exception_io_data();
        }
        service_ptr<fake_monitor> m;
        m.assign(new fake_monitor);
        m->release();
        m->url = root;
        m->flags.push_back(flags);
        m->stored = state;
        m->callback.assign(callback);
        if (stored)
            for (auto& t : stored_tracks[root]) static_cast<kpl::array_list<track_handle_ref>&>(initial).append(t);
        made.push_back(m);
        out.assign(m.get());
    }

    fake_monitor* find(const std::string& url) {
        for (auto& m : made)
            if (m->url == url) return m.get();
        return nullptr;
    }
};

class recording_listener final : public library_change_listener {
public:
    std::vector<std::string> events;
    void on_items_added(const library_track_list& t) override { log("added", t); }
    void on_items_removed(const library_track_list& t) override { log("removed", t); }
    void on_items_modified(const library_track_list& t) override { log("modified", t); }
    void on_indexing_changed(bool on) override { events.push_back(on ? "indexing 1" : "indexing 0"); }

private:
    void log(const char* what, const library_track_list& t) {
        std::string line = what;
        for (const std::string& n : names(t)) line += " " + n;
        events.push_back(line);
    }
};

service_ptr<media_library> library() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    service_ptr<media_library> out;
    service_class::get_single(out);
    return out;
}

// The manager over a fresh fake service and a scratch profile folder, with the options given; unloaded
// and the options restored at the end.
struct manager_fixture {
    fake_monitor_service monitors;
    shell_test::scratch_folder profile{"vorn-library-manager"};
    std::vector<std::string> system;
    int portable = 0;
    kpl::string_array saved_folders = cfg_library_folders.get();
    bool saved_monitor = cfg_monitor_library_folders, saved_system = cfg_use_windows_library_folders;
    std::string saved_profile = profile_folder::c_str();

    manager_fixture() {
        profile_folder::set(("file://" + profile.path).c_str());
        cfg_use_windows_library_folders = false;
        cfg_monitor_library_folders = true;
        folders({});
    }
    ~manager_fixture() {
        media_library::unload();
        library_manager::set_seams(library_manager::seams());
        cfg_library_folders.get() = saved_folders;
        cfg_monitor_library_folders = saved_monitor;
        cfg_use_windows_library_folders = saved_system;
        profile_folder::set(saved_profile.c_str());
    }
    void folders(const std::vector<std::string>& list) {
        kpl::string_array& f = cfg_library_folders.get();
        f.clear();
        for (const auto& s : list) f.append(s.c_str());
    }
    void start() {
        library_manager::seams s;
        s.monitors = &monitors;
        s.program_folder = "C:\\Vorn\\";
        s.portable = portable;
        std::vector<std::string> sys = system;
        s.system_folders = [sys](std::vector<std::string>& out) { out = sys; };
        library_manager::set_seams(s);
        media_library::startup();
    }
    std::vector<std::string> urls() {
        std::vector<std::string> out;
        for (const auto& w : library_manager::watched()) out.push_back(w.url);
        return out;
    }
    std::string database() const { return profile.path + "\\database.dat"; }
};

std::string read_file(const std::string& path) {
    HANDLE h = CreateFileW(shell_test::wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string out(GetFileSize(h, nullptr), '\0');
    DWORD got = 0;
    if (!out.empty()) ReadFile(h, &out[0], static_cast<DWORD>(out.size()), &got, nullptr);
    CloseHandle(h);
    return out;
}

}  // namespace

TEST_CASE("library manager: the effective list, one monitor per distinct folder, and the URLs") {
    struct row {
        const char* what;
        int portable;
        bool system_on;
        std::vector<std::string> system, configured, effective, urls;
    };
    const row rows[] = {
        {"configured only", 0, false, {"Z:\\sys"}, {"D:\\b", "D:\\a"}, {"D:\\b", "D:\\a"}, {"file://D:\\a", "file://D:\\b"}},
        {"system folders first", 0, true, {"Z:\\sys"}, {"D:\\a"}, {"Z:\\sys", "D:\\a"}, {"file://D:\\a", "file://Z:\\sys"}},
        {"duplicates collapse", 0, true, {"D:\\a"}, {"D:\\a", "D:\\a"}, {"D:\\a", "D:\\a", "D:\\a"}, {"file://D:\\a"}},
        {"case counts", 0, false, {}, {"D:\\a", "D:\\A"}, {"D:\\a", "D:\\A"}, {"file://D:\\A", "file://D:\\a"}},
        {"portable: the program folder", 1, true, {"Z:\\sys"}, {"D:\\a"}, {".", "D:\\a"}, {"file://C:\\Vorn", "file://D:\\a"}},
        {"roots keep their backslash", 0, false, {}, {"C:\\", "D:\\m\\", "\\\\srv\\share\\", "E:\\x\\\\"},
         {"C:\\", "D:\\m\\", "\\\\srv\\share\\", "E:\\x\\\\"},
         {"file://C:\\", "file://D:\\m", "file://E:\\x\\\\", "file://\\\\srv\\share"}},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        manager_fixture f;
        f.portable = r.portable;
        cfg_use_windows_library_folders = r.system_on;
        f.system = r.system;
        f.folders(r.configured);
        f.start();
        CHECK(library_manager::effective_list() == r.effective);
        CHECK(f.monitors.made.empty());  // start-up touches no monitor
        recording_listener l;
        library()->register_listener(&l);
        CHECK(f.urls() == r.urls);
        CHECK(f.monitors.made.size() == r.urls.size());
        library()->unregister_listener(&l);
    }
}

TEST_CASE("library manager: the library loads on first need, not for is_indexing or info changes") {
    manager_fixture f;
    f.folders({"D:\\a"});
    f.start();
    auto lib = library();
    CHECK_FALSE(lib->is_indexing());
    track_handle_ref a = track("file://D:\\a\\1.flac");
    library_manager::on_info_changed(tracks({a}));
    CHECK_FALSE(media_library::is_loaded());
    CHECK(f.monitors.made.empty());
    library_manager::save(false);  // not loaded: nothing written
    CHECK(read_file(f.database()) == "<missing>");

    CHECK_FALSE(lib->contains(a));
    CHECK(media_library::is_loaded());
    REQUIRE(f.monitors.made.size() == 1);
    CHECK(f.monitors.made[0]->flags == std::vector<uint32_t>{0});
}

TEST_CASE("library manager: a track two folders report stays until each reported it gone") {
    manager_fixture f;
    f.folders({"D:\\m", "D:\\m\\live"});
    f.start();
    recording_listener l;
    auto lib = library();
    lib->register_listener(&l);
    folder_monitor_callback* outer = f.monitors.find("file://D:\\m")->callback.get();
    folder_monitor_callback* inner = f.monitors.find("file://D:\\m\\live")->callback.get();
    track_handle_ref a = track("file://D:\\m\\live\\a.flac"), b = track("file://D:\\m\\b.flac");

    outer->on_items_added(tracks({a, b}));
    inner->on_items_added(tracks({a}));
    inner->on_items_added(tracks({a}));   // told twice: still one report of this folder
    inner->on_items_removed(tracks({a}));
    CHECK(lib->contains(a));
    outer->on_items_removed(tracks({b}));
    outer->on_items_removed(tracks({b}));  // not the folder's any more: nothing
    CHECK(l.events == std::vector<std::string>{"added file://D:\\m\\b.flac file://D:\\m\\live\\a.flac",
                                               "removed file://D:\\m\\b.flac"});

    // The inner folder reports it again, then stops being watched: the outer one still has it.
    inner->on_items_added(tracks({a}));
    f.folders({"D:\\m"});
    media_library::startup();
    media_library::apply_folder_list(library_stored_states());
    CHECK(lib->contains(a));
    inner->on_items_added(tracks({b}));  // a folder no longer watched is not heard
    CHECK_FALSE(lib->contains(b));
    outer->on_items_removed(tracks({a}));
    CHECK_FALSE(lib->contains(a));
    CHECK(l.events.back() == "removed file://D:\\m\\live\\a.flac");

    // Unloading removes what is left, and listeners hear it.
    outer->on_items_added(tracks({b}));
    l.events.clear();
    media_library::unload();
    CHECK(l.events == std::vector<std::string>{"removed file://D:\\m\\b.flac"});
    lib->unregister_listener(&l);
}

TEST_CASE("library manager: listeners, list_all, enumerate and info changes") {
    manager_fixture f;
    f.folders({"D:\\a"});
    f.start();
    recording_listener once, twice;
    auto lib = library();
    lib->register_listener(&once);
    lib->register_listener(&twice);
    lib->register_listener(&twice);
    folder_monitor_callback* cb = f.monitors.made.at(0)->callback.get();
    track_handle_ref a = track("file://D:\\a\\1.flac"), b = track("file://D:\\a\\2.flac", 2),
                     outside = track("file://E:\\x.flac");
    cb->on_items_added(tracks({a, b}));
    CHECK(once.events.size() == 1);
    CHECK(twice.events.size() == 2);

    kpl::array_list<track_handle_ref> all;
    all.append(outside);
    lib->list_all(all);
    CHECK(names(all) == std::vector<std::string>{"file://D:\\a\\1.flac", "file://D:\\a\\2.flac"});

    struct first_only final : library_enum_callback {
        int calls = 0;
        bool on_item(const track_handle_ref&) override { return ++calls > 1; }
    } stop_at_first;
    lib->enumerate(stop_at_first);
    CHECK(stop_at_first.calls == 1);

    // Through the service, as the tag operations broadcast: only members are passed on.
    service_iterator it(info_change_notify::class_guid);
    service_ref receiver;
    once.events.clear();
    while (it.next(receiver)) receiver.as<info_change_notify>()->on_info_changed(tracks({outside, b}), 0);
    CHECK(once.events == std::vector<std::string>{"modified file://D:\\a\\2.flac"});
    once.events.clear();
    library_manager::on_info_changed(tracks({outside}));
    CHECK(once.events.empty());

    CHECK(twice.events.size() == 4);  // added and modified, each twice
    lib->unregister_listener(&twice);  // both entries
    cb->on_items_removed(tracks({a}));
    CHECK(twice.events.size() == 4);
    CHECK(once.events == std::vector<std::string>{"removed file://D:\\a\\1.flac"});
    lib->unregister_listener(&once);
}

TEST_CASE("library manager: indexing follows the monitors' busy reports through the main-thread queue") {
    manager_fixture f;
    f.folders({"D:\\a", "D:\\b"});
    f.start();
    recording_listener l;
    auto lib = library();
    lib->register_listener(&l);
    folder_monitor_callback* a = f.monitors.find("file://D:\\a")->callback.get();
    folder_monitor_callback* b = f.monitors.find("file://D:\\b")->callback.get();

    // From other threads, as monitors report.
    struct reporter final : kpl::thread {
        folder_monitor_callback* cb;
        bool busy;
        void body() override { cb->on_busy_changed(busy); }
    };
    auto from_thread = [](folder_monitor_callback* cb, bool busy) {
        reporter t;
        t.cb = cb;
        t.busy = busy;
        t.start();
        t.wait_and_close();
    };
    from_thread(a, true);
    from_thread(b, true);
    from_thread(b, true);  // no change: nothing posted
    CHECK_FALSE(lib->is_indexing());  // not before the main thread ran the update
    main_thread_queue::drain(true);
    CHECK(lib->is_indexing());
    from_thread(a, false);
    main_thread_queue::drain(true);
    CHECK(lib->is_indexing());
    from_thread(b, false);
    main_thread_queue::drain(true);
    CHECK_FALSE(lib->is_indexing());
    CHECK(l.events == std::vector<std::string>{"indexing 1", "indexing 0"});
    lib->unregister_listener(&l);
}

TEST_CASE("library manager: flags, the two menu commands and their display") {
    manager_fixture f;
    f.folders({"D:\\a"});
    f.start();
    service_ptr<main_menu_command_set> menu;
    {
        service_iterator it(main_menu_command_set::class_guid);
        service_ref each;
        const kpl::guid monitor_guid = {0xF3176D0C, 0xEC94, 0x45BE, {0x8F, 0xC2, 0x6F, 0x3B, 0x54, 0x0B, 0xB4, 0x92}};
        library();
        while (it.next(each))
            if (each.as<main_menu_command_set>()->get_guid(0) == monitor_guid) {
                menu.assign(each.as<main_menu_command_set>());
            }
    }
    REQUIRE(menu);
    load_language_table(0x409);
    auto display = [&](uint32_t index) {
        kpl::utf8_string_pow2 text;
        uint32_t flags = 0;
        if (!menu->get_display(index, text, flags)) return std::string("hidden");
        return std::string(text.c_str()) + " " + std::to_string(flags);
    };
    CHECK(display(0) == "Monitor Folders 10");
    CHECK(display(1) == "hidden");
    CHECK(menu->get_sort_priority() == 0x80000000u);

    menu->execute(1, nullptr);  // monitoring on: nothing, not even a load
    CHECK_FALSE(media_library::is_loaded());
    menu->execute(0, nullptr);  // off, while not loaded: nothing else
    CHECK_FALSE(cfg_monitor_library_folders);
    CHECK(display(0) == "Monitor Folders 8");
    CHECK(display(1) == "Scan Folders Now 0");
    CHECK(f.monitors.made.empty());

    menu->execute(1, nullptr);  // loads, with flags 6, then rescans once
    REQUIRE(f.monitors.made.size() == 1);
    fake_monitor* m = f.monitors.made[0].get();
    CHECK(m->flags == std::vector<uint32_t>{6, 4});
    CHECK(library_manager::watched().at(0).flags == 6);

    menu->execute(0, nullptr);  // on again: watch and scan
    menu->execute(0, nullptr);  // off: stored state only
    CHECK(m->flags == std::vector<uint32_t>{6, 4, 0, 6});
    CHECK(f.monitors.made.size() == 1);
}

TEST_CASE("library manager: database.dat at load and save, damaged states and files, and reset") {
    manager_fixture f;
    f.folders({"D:\\b", "D:\\a", "."});
    f.portable = 0;
    f.start();
    track_handle_ref stored = track("file://D:\\a\\stored.flac");
    f.monitors.stored_tracks["file://D:\\a"] = {stored};
    std::string file = "\x55\xC7\x65\x9F\xF6\x13\x14\x48\xA9\xB1\xF1\xB6\xF7\xAD\x7F\xFC";
    auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto rec = [&](const std::string& k, const std::string& s) { return u32(k.size()) + k + u32(s.size()) + s; };
    f.profile.file("database.dat", file + u32(3) + rec("D:\\a", "A state") + rec("D:\\b", "damaged") +
                                       rec("D:\\gone", "not watched"));

    recording_listener l;
    auto lib = library();
    lib->register_listener(&l);
    CHECK(f.monitors.find("file://D:\\a")->stored == "A state");
    CHECK(f.monitors.find("file://D:\\b")->stored == "");  // started again without its damaged state
    CHECK(lib->contains(stored));
    CHECK(library_manager::stats().stored_tracks == 1);

    // The file is closed once the monitors are running: it can be replaced at once.
    CHECK(DeleteFileW(shell_test::wide(f.database()).c_str()));
    library_manager::save(false);
    const std::string expected = file + u32(3) + rec(".", "state of file://C:\\Vorn") +
                                 rec("D:\\a", "state of file://D:\\a") + rec("D:\\b", "state of file://D:\\b");
    CHECK(read_file(f.database()) == expected);

    library_manager::save(true);
    CHECK(read_file(f.database()) == "<missing>");
    library_manager::save(true);  // nothing to remove: no failure
    lib->unregister_listener(&l);

    // An unreadable file does not keep the library from loading; the next save replaces it.
    for (const std::string& bad : {std::string("foreign file"), file.substr(0, 9), file + u32(1) + u32(100) + "D:"}) {
        media_library::unload();
        f.profile.file("database.dat", bad);
        CHECK_FALSE(lib->contains(stored));
        CHECK(media_library::is_loaded());
        CHECK(library_manager::watched().size() == 3);
        library_manager::save(false);
        CHECK(read_file(f.database()) == expected);
    }
}

TEST_CASE("library manager: a monitor that cannot start leaves no folder and the load fails until it can") {
    manager_fixture f;
    f.folders({"D:\\a", "D:\\b"});
    f.start();
    f.monitors.fail_url = "file://D:\\b";
    recording_listener l;
    auto lib = library();
    CHECK_THROWS_AS(lib->register_listener(&l), ketrel_io::exception_io_denied);
    CHECK_FALSE(media_library::is_loaded());
    CHECK(library_manager::watched().empty());
    f.monitors.fail_url.clear();
    lib->register_listener(&l);
    CHECK(library_manager::watched().size() == 2);
    lib->unregister_listener(&l);
}

namespace {

class library_call_thread final : public kpl::thread {
    void body() override {
        kpl::array_list<track_handle_ref> all;
        library()->list_all(all);
    }
};

}  // namespace

TEST_CASE("probe: a library call that stops the process" * doctest::skip()) {
    metadata_test::crash_probe_child_setup();
    library();
    if (metadata_test::crash_probe_argument() == "thread") {
        library_call_thread t;
        t.start();
        t.wait_and_close();
    } else {
        service_iterator it(main_menu_command_set::class_guid);
        service_ref each;
        const kpl::guid scan_guid = {0xDAE3DBD3, 0x7697, 0x48D5, {0xAF, 0x02, 0xBC, 0xC2, 0xAF, 0x99, 0x1A, 0x86}};
        while (it.next(each)) {
            auto* set = each.as<main_menu_command_set>();
            if (set->get_count() == 2 && set->get_guid(1) == scan_guid) set->execute(2, nullptr);
        }
    }
}

TEST_CASE("library manager: a call from another thread and an unknown menu index stop the process") {
    CHECK(metadata_test::crash_probe_run("probe: a library call that stops the process", "thread") ==
          kpl::crash_exception_code);
    CHECK(metadata_test::crash_probe_run("probe: a library call that stops the process", "menu") ==
          kpl::crash_exception_code);
}

TEST_CASE("library manager: a listener that unregisters another while told keeps it from hearing that report") {
    manager_fixture f;
    f.folders({"D:\\a"});
    f.start();
    auto lib = library();
    recording_listener second;
    struct unregistering final : library_change_listener {
        media_library* lib = nullptr;
        library_change_listener* other = nullptr;
        int calls = 0;
        void on_items_added(const library_track_list&) override {
            ++calls;
            lib->unregister_listener(other);
        }
        void on_items_removed(const library_track_list&) override {}
        void on_items_modified(const library_track_list&) override {}
        void on_indexing_changed(bool) override {}
    } first;
    first.lib = lib.get();
    first.other = &second;
    lib->register_listener(&first);
    lib->register_listener(&second);
    f.monitors.made.at(0)->callback->on_items_added(tracks({track("file://D:\\a\\x.flac")}));
    CHECK(first.calls == 1);
    CHECK(second.events.empty());
    lib->unregister_listener(&first);
}
