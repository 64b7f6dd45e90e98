// The tag operations without windows: a host that runs each task at once, files from a table. Load modes,
// progress, the reader kept per file, update and remove file by file, failures and their report, the
// completion code, Abort, path locks, the collector's staleness and replace rules and the broadcast.
#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/fs/memory_file.h"
#include "foundation/fs/path_lock.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/string_array.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/thread.h"
#include "inputs/input_probe.h"
#include "metadata/tag_operations.h"
#include "metadata/track_info.h"
#include "properties/info_broadcast.h"
#include "properties/pending_info.h"
#include "properties/tag_tasks.h"
#include "shell/localization.h"
#include "shell/main_thread_queue.h"
#include "shell/running_operations.h"
#include "tests/metadata/crash_probe.h"
#include "tests/properties/tag_fakes.h"

using namespace tag_fakes;

namespace {

service_ptr<tag_operations> operations() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    static bool language = false;
    if (!language) {
        load_language_table(0x409);
        language = true;
    }
    service_ptr<tag_operations> ops;
    service_class::get_single(ops);
    return ops;
}

template <class T>
service_ptr<T> counted(T* object) {
    service_ptr<T> p(object);
    object->release();
    return p;
}

// Gives a handle info of its own with a stamp.
void give_info(const track_handle_ref& track, const char* title, uint64_t stamp) {
    browse_fields_builder record;
    record.set(browse_title, title);
    track->set_info(record, stamp, 0, true);
}

std::vector<std::string> to_strings(const std::vector<track_handle*>& tracks) {
    std::vector<std::string> out;
    for (track_handle* t : tracks)
        out.push_back(std::string(t->get_location().get_path()) + "#" + std::to_string(t->get_location().get_subsong()));
    return out;
}

}  // namespace

TEST_CASE("load: the modes decide which tracks are read; nothing to do posts the completion") {
    auto ops = operations();
    reset();
    add("fake://m/a", {0});
    add("fake://m/b", {0});
    track_handle_ref a = handle("fake://m/a"), b = handle("fake://m/b");
    give_info(a, "old a", 1000);   // same stamp as the file
    give_info(b, "old b", 999);    // the file changed since
    // c (one per mode) has no info

    struct row {
        int mode;
        std::vector<std::string> read;
    };
    const row rows[] = {
        {0, {"fake://m/c#0:m/c #0:1000"}},
        {1, {"fake://m/a#0:m/a #0:1000", "fake://m/b#0:m/b #0:1000", "fake://m/c#0:m/c #0:1000"}},
        {2, {"fake://m/a#0:m/a #0:1000", "fake://m/b#0:m/b #0:1000", "fake://m/c#0:m/c #0:1000"}},
        {3, {"fake://m/b#0:m/b #0:1000", "fake://m/c#0:m/c #0:1000"}},
    };
    for (const row& r : rows) {
        CAPTURE(r.mode);
        add("fake://m/c", {0});
        track_handle_ref c = handle("fake://m/c");
        give_info(a, "old a", 1000);
        give_info(b, "old b", 999);
        quiet_host host;
        auto seen = counted(new observer);
        completion done;
        ops->load_info(list({c, b, a}), r.mode, nullptr, 0, seen.get(), done.make());
        c.reset();
        CHECK(host.tasks == 1);
        CHECK(host.last_title == "Processing Files");
        CHECK(seen->seen == r.read);
        CHECK(done.codes == std::vector<int32_t>{0});
    }

    // Mode 0 over tracks that all have info, and an empty list: no task, no window; the completion comes
    // with 0 on the main thread after the call returned.
    for (int mode : {0, 1, 3}) {
        quiet_host host;
        completion done;
        if (mode == 0) ops->load_info(list({a, b}), 0, nullptr, 0, nullptr, done.make());
        else ops->load_info(list({}), mode, nullptr, 0, nullptr, done.make());
        CHECK(host.tasks == 0);
        CHECK(done.codes.empty());
        main_thread_queue::drain(true);
        CHECK(done.codes == std::vector<int32_t>{0});
    }
}

TEST_CASE("probe: load mode out of range" * doctest::skip()) {
    metadata_test::crash_probe_child_setup();
    auto ops = operations();
    reset();
    add("fake://crash", {0});
    quiet_host host;
    ops->load_info(list({handle("fake://crash")}), std::stoi(metadata_test::crash_probe_argument()), nullptr, 0,
                   nullptr, nullptr);
}

TEST_CASE("load: a mode outside 0..3 stops the process") {
    CHECK(metadata_test::crash_probe_run("probe: load mode out of range", "4") == kpl::crash_exception_code);
    CHECK(metadata_test::crash_probe_run("probe: load mode out of range", "-1") == kpl::crash_exception_code);
    CHECK(metadata_test::crash_probe_run("probe: load mode out of range", "1") == 0);
}

TEST_CASE("load: one reader per file, progress, item lines and failures that never reuse a missing reader") {
    auto ops = operations();
    reset();
    add("fake://p/b", {1, 2});
    add("fake://p/a", {0});
    file& denied = add("fake://p/c", {1, 2});
    denied.open_denied = true;
    quiet_host host;
    completion done;
    auto seen = counted(new observer);
    ops->load_info(list({handle("fake://p/c", 2), handle("fake://p/b", 2), handle("fake://p/a"), handle("fake://p/b", 1),
                         handle("fake://p/c", 1)}),
                   1, nullptr, 1, seen.get(), done.make());
    CHECK(get("fake://p/b").opens == 1);
    CHECK(host.progress == std::vector<uint32_t>{0, 1000, 2000, 3000, 4000});
    CHECK(host.items.size() == 5);
    CHECK(host.items[0] == "fake://p/a");
    CHECK(host.items[4] == "fake://p/c");
    CHECK(seen->seen.size() == 3);
    // Both tracks of the file that cannot be opened fail on their own; flag 1 keeps the report back.
    CHECK(host.reports.empty());
    CHECK(done.codes == std::vector<int32_t>{2});

    // A single track sets no progress.
    quiet_host one;
    ops->load_info(list({handle("fake://p/a")}), 1, nullptr, 0, nullptr, nullptr);
    CHECK(one.progress.empty());
    CHECK(one.items == std::vector<std::string>{"fake://p/a"});
}

TEST_CASE("update: file by file, the editor's choice, read-back of every subsong and subsong 0") {
    auto ops = operations();
    reset();
    file& cue = add("fake://u/cue", {1, 2, 3});
    file& kept = add("fake://u/kept", {0});
    track_handle_ref one = handle("fake://u/cue", 1), three = handle("fake://u/cue", 3), k = handle("fake://u/kept");
    quiet_host host;
    completion done;
    auto seen = counted(new observer);
    std::vector<std::string> names_during;
    auto edit = counted(new editor([&](const track_handle_ref& track, track_info& info) {
        kpl::string_array names;
        running_operation_registry::instance().get_names(names);
        for (uint32_t i = 0; i < names.count(); ++i) names_during.push_back(names[i].c_str());
        if (track == k) return false;
        info.meta_set("title", track_info::npos, "New", track_info::npos);
        info.meta_add("artist", track_info::npos, "A", track_info::npos);
        info.meta_add_value("B", static_cast<uint32_t>(info.meta_find("artist")));
        return true;
    }));
    recorder heard;
    ops->update_info(list({three, k, one}), edit.get(), nullptr, 0, seen.get(), done.make());
    CHECK(host.last_title == "Updating Files");
    CHECK(host.last_options == 0x15);
    CHECK(cue.opens == 1);
    CHECK(cue.commits == 1);
    CHECK(kept.commits == 0);  // the editor said no: nothing written, still read back
    CHECK(std::string(cue.infos[1].meta_get_first("title")) == "New");
    CHECK(std::string(cue.infos[2].meta_get_first("title")) == "u/cue #2");
    CHECK(host.progress == std::vector<uint32_t>{0, 3333});
    CHECK(std::find(names_during.begin(), names_during.end(), "Updating Files") != names_during.end());
    kpl::string_array after;
    running_operation_registry::instance().get_names(after);
    CHECK(after.count() == 0);
    // Read back: subsongs 1, 2, 3 and then 0 of the cue file (stamp moved on by the commit), the other file.
    CHECK(seen->seen == std::vector<std::string>{"fake://u/cue#1:New:1001", "fake://u/cue#2:u/cue #2:1001",
                                                 "fake://u/cue#3:New:1001", "fake://u/cue#0:u/cue #0:1001",
                                                 "fake://u/kept#0:u/kept #0:1000"});
    REQUIRE(heard.calls.size() == 1);
    CHECK(heard.calls[0].flag == 0);
    CHECK(heard.calls[0].tracks.size() == 5);
    CHECK(title_of(three) == "New");
    browse_fields_builder record;
    REQUIRE(one->copy_browse_fields(record));
    CHECK(std::string(record.get(browse_artist)) == "A; B");
    CHECK(record.length == 2.0f);
    CHECK(done.codes == std::vector<int32_t>{0});
}

TEST_CASE("update: failures per file, the report, read-back failures and the completion code") {
    auto ops = operations();
    reset();
    add("fake://f/1ok", {0});
    file& broken = add("fake://f/2broken", {1, 2});
    broken.commit_fails = true;
    file& readback = add("fake://f/3readback", {0});
    readback.read_after_commit_fails = true;
    add("fake://f/4ok", {0});
    quiet_host host;
    completion done;
    auto edit = counted(new editor([](const track_handle_ref&, track_info& info) {
        info.meta_set("album", track_info::npos, "X", track_info::npos);
        return true;
    }));
    ops->update_info(list({handle("fake://f/4ok"), handle("fake://f/2broken", 2), handle("fake://f/missing"),
                           handle("fake://f/3readback"), handle("fake://f/2broken", 1), handle("fake://f/1ok")}),
                     edit.get(), nullptr, 0, nullptr, done.make());
    CHECK(get("fake://f/1ok").commits == 1);
    CHECK(get("fake://f/4ok").commits == 1);
    CHECK(readback.commits == 1);
    REQUIRE(host.reports.size() == 1);
    CHECK(host.reports[0] ==
          "Information|"
          "Could not write information (commit broken) to:\r\n\"fake://f/2broken\" / index: 1\r\n\r\n"
          "Could not write information (commit broken) to:\r\n\"fake://f/2broken\" / index: 2\r\n\r\n"
          "Could not load information (read-back broken) from:\r\n\"fake://f/3readback\"\r\n\r\n"
          "Could not write information (Object not found) to:\r\n\"fake://f/missing\"\r\n\r\n");
    CHECK(done.codes == std::vector<int32_t>{2});
}

TEST_CASE("report text and completion code") {
    operations();
    kpl::array<tag_failure> failures;
    tag_failure f;
    f.message_id = "error_info_remove";
    f.text = "Access denied";
    failures.append(f);  // no handle
    f.track = handle("fake://r/x", 3);
    f.message_id = "error_info_load";
    f.text = "Unknown";
    failures.append(f);
    kpl::utf8_string_pow2 text;
    tag_report_text(failures, text);
    CHECK(std::string(text.c_str()) ==
          "Could not remove tags (Access denied) from:\r\n[invalid location]\r\n\r\n"
          "Could not load information (Unknown) from:\r\n\"fake://r/x\" / index: 3\r\n\r\n");

    struct row {
        bool aborted, failed;
        int32_t code;
    };
    for (const row& r : {row{false, false, 0}, row{false, true, 2}, row{true, false, 1}, row{true, true, 1}})
        CHECK(tag_completion_code(r.aborted, r.failed) == r.code);
    struct options_row {
        uint32_t flags, options;
    };
    for (const options_row& r : {options_row{0, 0x15}, options_row{1, 0x15}, options_row{2, 0x115},
                                 options_row{4, 0x195}, options_row{6, 0x195}})
        CHECK(tag_operation_options(r.flags) == r.options);
}

TEST_CASE("remove: the remover extension, or per subsong only where there is something to remove") {
    auto ops = operations();
    reset();
    file& with_remover = add("fake://x/a", {0});
    with_remover.has_remover = true;
    file& tagged = add("fake://x/b", {1, 2});
    tagged.infos[2].meta_remove_all();
    replaygain_values rg;
    rg.track_gain = -3;
    tagged.infos[2].set_replaygain(rg);
    tagged.infos[2].info_set("codec", track_info::npos, "FAKE", track_info::npos);
    file& bare = add("fake://x/c", {0});
    bare.infos[0].meta_remove_all();
    quiet_host host;
    completion done;
    recorder heard;
    ops->remove_tags(list({handle("fake://x/c"), handle("fake://x/b", 1), handle("fake://x/b", 2), handle("fake://x/a")}),
                     nullptr, 2, nullptr, done.make());
    CHECK(host.last_title == "Removing Tags");
    CHECK(host.last_options == 0x115);
    CHECK(with_remover.removes == 1);
    CHECK(with_remover.commits == 0);
    CHECK(tagged.commits == 1);
    CHECK(tagged.infos[1].meta_count() == 0);
    CHECK(tagged.infos[2].get_replaygain().count_valid() == 0);
    CHECK(std::string(tagged.infos[2].info_get_by_name("codec")) == "FAKE");
    CHECK(tagged.infos[2].get_length() == 2.0);
    CHECK(bare.commits == 0);  // nothing to remove: nothing written
    CHECK(done.codes == std::vector<int32_t>{0});
    REQUIRE(heard.calls.size() == 1);
}

namespace {

// Holds a shared lock on a path; with `yield`, lets go as soon as a writer waits.
class test_reader final : public kpl::thread {
public:
    test_reader(const char* path, bool yield) : m_path(path), m_yield(yield) {}
    ~test_reader() override {
        m_stop.set();
        wait_and_close();
    }
    void begin() {
        start();
        m_ready.wait_event(10);
    }
    volatile bool let_go = false;

private:
    void body() override {
        service_ref lock;
        path_lock_manager::acquire_shared(lock, m_path.c_str(), abort_never);
        m_ready.set();
        while (!m_stop.is_set()) {
            if (m_yield && lock.as<path_lock>()->is_contended()) {
                let_go = true;
                return;
            }
            m_stop.wait_event(0.005);
        }
    }
    std::string m_path;
    bool m_yield;
    kpl::waitable_flag m_stop;
    kpl::waitable_flag m_ready;
};

class abort_later final : public kpl::thread {
public:
    abort_later(kpl::waitable_flag& flag, double seconds) : m_flag(flag), m_seconds(seconds) {}
    ~abort_later() override { wait_and_close(); }

private:
    void body() override {
        Sleep(static_cast<DWORD>(m_seconds * 1000));
        m_flag.set();
    }
    kpl::waitable_flag& m_flag;
    double m_seconds;
};

}  // namespace

TEST_CASE("update: waits for a reader's shared lock until it lets go; Abort meanwhile leaves the file alone") {
    auto ops = operations();
    reset();
    auto edit = counted(new editor([](const track_handle_ref&, track_info& info) {
        info.meta_set("album", track_info::npos, "Locked", track_info::npos);
        return true;
    }));
    {
        file& f = add("fake://l/a", {0});
        test_reader reader("fake://l/a", true);
        reader.begin();
        quiet_host host;
        completion done;
        ops->update_info(list({handle("fake://l/a")}), edit.get(), nullptr, 0, nullptr, done.make());
        CHECK(reader.let_go);
        CHECK(f.commits == 1);
        CHECK(done.codes == std::vector<int32_t>{0});
    }
    {
        file& f = add("fake://l/b", {0});
        add("fake://l/c", {0});
        test_reader reader("fake://l/b", false);
        reader.begin();
        quiet_host host;
        completion done;
        abort_later press(host.abort, 0.3);
        press.start();
        ops->update_info(list({handle("fake://l/b"), handle("fake://l/c")}), edit.get(), nullptr, 0, nullptr,
                         done.make());
        CHECK(f.opens == 0);
        CHECK(get("fake://l/c").opens == 0);
        CHECK(done.codes == std::vector<int32_t>{1});
        CHECK(host.reports.empty());
    }
}

TEST_CASE("update: Abort between files keeps the files written; Abort inside apply finishes that file") {
    auto ops = operations();
    reset();
    add("fake://a/1", {0});
    add("fake://a/2", {0});
    add("fake://a/3", {0});
    track_handle_ref second = handle("fake://a/2");
    quiet_host host;
    completion done;
    recorder heard;
    auto edit = counted(new editor([&](const track_handle_ref& track, track_info& info) {
        if (std::strcmp(track->get_location().get_path(), "fake://a/2") == 0) host.abort.set();
        info.meta_set("album", track_info::npos, "Done", track_info::npos);
        return true;
    }));
    ops->update_info(list({handle("fake://a/3"), handle("fake://a/1"), handle("fake://a/2")}), edit.get(), nullptr, 0,
                     nullptr, done.make());
    CHECK(get("fake://a/1").commits == 1);
    CHECK(get("fake://a/2").commits == 1);  // pressed inside its apply: finished and read back
    CHECK(get("fake://a/3").opens == 0);
    REQUIRE(heard.calls.size() == 1);
    CHECK(to_strings(heard.calls[0].tracks).size() == 2);
    CHECK(title_of(second) == "a/2 #0");
    CHECK(done.codes == std::vector<int32_t>{1});
}

TEST_CASE("collector: staleness, replace rules, the observer and the length") {
    operations();
    static uint64_t clock = 100;
    auto now = [] { return clock; };
    auto seen = counted(new observer);
    track_info_store info;
    info.meta_set("title", track_info::npos, "T", track_info::npos);
    info.meta_add("artist", track_info::npos, "A", track_info::npos);
    info.meta_add_value("B", 1);
    info.set_length(123.5);

    struct row {
        bool has_info;
        uint64_t stored, given;
        bool fresh, kept;
    };
    const row rows[] = {
        {false, 0, 0, false, true},  {false, 0, 0, true, true},   {true, 5, 0, false, false}, {true, 5, 0, true, true},
        {true, 5, 5, false, false},  {true, 5, 5, true, false},   {true, 5, 6, false, true},  {true, 5, 4, false, false},
        {true, 5, 4, true, true},
    };
    uint32_t n = 0;
    for (const row& r : rows) {
        CAPTURE(n);
        track_handle_ref track = handle("fake://c/" + std::to_string(n++));
        if (r.has_info) give_info(track, "before", r.stored);
        pending_info pending(seen.get(), now);
        file_stats stats;
        stats.timestamp = r.given;
        pending.add(track, info, stats, r.fresh);
        CHECK(pending.count() == (r.kept ? 1u : 0u));
    }
    CHECK(seen->seen.size() == n);  // the observer hears every add

    // Replace rules within one collector.
    track_handle_ref track = handle("fake://c/replace");
    pending_info pending(nullptr, now);
    file_stats stats;
    stats.timestamp = 7;
    track_info_store first, second;
    first.meta_set("title", track_info::npos, "first", track_info::npos);
    second.meta_set("title", track_info::npos, "second", track_info::npos);
    pending.add(track, first, stats, true);
    pending.add(track, second, stats, true);  // same time: the first stays
    pending.add(track, second, stats, false);  // a hint never replaces a fresh read
    kpl::array_list<track_handle_ref> changed;
    pending.apply(changed);
    CHECK(title_of(track) == "first");
    CHECK(changed.count() == 1);
    CHECK(pending.is_empty());

    track_handle_ref later = handle("fake://c/later");
    pending.add(later, first, stats, true);
    clock = 101;
    pending.add(later, second, stats, true);
    pending.apply(changed);
    CHECK(title_of(later) == "second");

    // The record carries the length and the joined values.
    track_handle_ref full = handle("fake://c/full");
    pending.add(full, info, stats, true);
    pending.apply(changed);
    browse_fields_builder record;
    REQUIRE(full->copy_browse_fields(record));
    CHECK(record.length == 123.5f);
    CHECK(std::string(record.get(browse_artist)) == "A; B");
}

TEST_CASE("broadcast: sorted, without repeats, services and callbacks, a callback unregistered meanwhile") {
    auto ops = operations();
    track_handle_ref a = handle("fake://b/a"), b = handle("fake://b/b");
    recorder first;
    recorder second;
    first.during = [&] { info_callback_unregister(&second); };
    info_broadcast(list({}), 0);
    CHECK(first.calls.empty());
    ops->notify_changed(list({b, a, b, a}));
    REQUIRE(first.calls.size() == 1);
    CHECK(first.calls[0].flag == 1);
    std::vector<track_handle*> expected = {a.get(), b.get()};
    if (expected[0] > expected[1]) std::swap(expected[0], expected[1]);
    CHECK(first.calls[0].tracks == expected);
    CHECK(second.calls.size() == 1);  // walked over a copy: still called this time
    ops->notify_changed(list({a}));
    CHECK(first.calls.size() == 2);
    CHECK(second.calls.size() == 1);
    info_callback_register(&second);  // for its own destructor
    info_callback_register(&second);
    ops->notify_changed(list({a}));
    CHECK(second.calls.size() == 2);  // registered twice, called once
}

TEST_CASE("hint collector: read from a whole file; committed at once here, later from another thread") {
    auto ops = operations();
    reset();
    add("fake://h/a", {2, 3});
    service_ptr<tag_operations_ext> ext;
    REQUIRE(service_query(ops.get(), ext));
    track_handle_ref zero = handle("fake://h/a", 0), fresh = handle("fake://h/new");
    quiet_host host;
    service_ptr<track_info_reader> reader;
    host.open_reader(reader, "fake://h/a", abort_never);
    recorder heard;

    service_ptr<info_hint_collector> hints;
    ext->create_info_hint_collector(hints);
    hints->add_hints_from_reader("fake://h/a", reader.get(), abort_never);
    hints->commit();
    REQUIRE(heard.calls.size() == 1);
    CHECK(to_strings(heard.calls[0].tracks).size() == 3);  // 2, 3 and 0
    CHECK(title_of(zero) == "h/a #0");

    class committer final : public kpl::thread {
    public:
        explicit committer(info_hint_collector* c) : m_c(c) {}
        ~committer() override { wait_and_close(); }
        void body() override { m_c->commit(); }
        info_hint_collector* m_c;
    };
    service_ptr<info_hint_collector> more;
    ext->create_info_hint_collector(more);
    track_info_store info;
    info.meta_set("title", track_info::npos, "hinted", track_info::npos);
    more->add_hint(fresh, info, 5, false);
    {
        committer c(more.get());
        c.start();
        c.wait_and_close();
    }
    more.release();  // the queued call keeps the collector alive
    CHECK(heard.calls.size() == 1);
    main_thread_queue::drain(true);
    REQUIRE(heard.calls.size() == 2);
    CHECK(title_of(fresh) == "hinted");

    // resolve_location: no location loader exists.
    kpl::array_list<track_handle_ref> out;
    CHECK_THROWS_AS(ops->resolve_location("fake://h/a", out), ketrel_io::exception_io_unsupported_format);
}

namespace {

// A small 16-bit stereo WAV file in the temporary folder; answers its location.
std::string make_wav(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + name;
    std::vector<uint8_t> bytes;
    auto put = [&](const char* four) { bytes.insert(bytes.end(), four, four + 4); };
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    const uint32_t data = 44100 * 4 / 10;
    put("RIFF");
    put32(36 + data);
    put("WAVE");
    put("fmt ");
    put32(16);
    put32(0x00020001);
    put32(44100);
    put32(44100 * 4);
    put32(0x00100004);
    put("data");
    put32(data);
    for (uint32_t i = 0; i < data; ++i) bytes.push_back(static_cast<uint8_t>(i * 7));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    std::string location = "file://";
    for (wchar_t c : path) location += static_cast<char>(c);  // the temporary folder is ASCII here
    return location;
}

std::vector<uint8_t> bytes_of(const std::string& location) {
    std::wstring path;
    for (size_t i = 7; i < location.size(); ++i) path += static_cast<wchar_t>(location[i]);
    std::vector<uint8_t> out;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    uint8_t buffer[4096];
    DWORD n = 0;
    while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) out.insert(out.end(), buffer, buffer + n);
    CloseHandle(file);
    return out;
}

}  // namespace

TEST_CASE("update of real files: Abort pressed inside apply leaves that file complete, the next one untouched") {
    auto ops = operations();
    const std::string first = make_wav(L"vorn-tagop-1.wav"), second = make_wav(L"vorn-tagop-2.wav");
    const std::vector<uint8_t> second_before = bytes_of(second);
    quiet_host host;
    host.real_files = true;
    completion done;
    auto edit = counted(new editor([&](const track_handle_ref&, track_info& info) {
        host.abort.set();
        info.meta_set("title", track_info::npos, "Written anyway", track_info::npos);
        return true;
    }));
    ops->update_info(list({handle(second), handle(first)}), edit.get(), nullptr, 0, nullptr, done.make());
    CHECK(done.codes == std::vector<int32_t>{1});
    CHECK(host.reports.empty());
    service_ptr<track_info_reader> reader;
    input_open_info_reader(reader, file_stream_ref(), first.c_str(), abort_never, false);
    track_info_store info;
    reader->get_info(0, info, abort_never);
    REQUIRE(info.meta_get_first("title") != nullptr);
    CHECK(std::string(info.meta_get_first("title")) == "Written anyway");
    CHECK(info.get_length() == doctest::Approx(0.1));
    reader.release();
    CHECK(bytes_of(second) == second_before);
    for (const std::string& location : {first, second}) {
        std::wstring path;
        for (size_t i = 7; i < location.size(); ++i) path += static_cast<wchar_t>(location[i]);
        DeleteFileW(path.c_str());
    }
}

TEST_CASE("probe: a broadcast receiver that throws" * doctest::skip()) {
    metadata_test::crash_probe_child_setup();
    auto ops = operations();
    struct thrower final : info_change_callback {
        void on_info_changed(const kpl::ref_list<track_handle_ref>&, uint8_t) override { throw std::exception(); }
    } receiver;
    info_callback_register(&receiver);
    ops->notify_changed(list({handle("fake://crash/a")}));
}

TEST_CASE("broadcast: an exception escaping a receiver ends the process through the crash path") {
    CHECK(metadata_test::crash_probe_run("probe: a broadcast receiver that throws", "") == kpl::crash_exception_code);
}

TEST_CASE("stream info loader: records from a stream, announced once; a location nobody else holds is not") {
    auto ops = operations();
    service_ptr<tag_operations_ext> ext;
    REQUIRE(service_query(ops.get(), ext));
    file_stream_ref stream = memory_file::create();
    for (const char* title : {"one", "two", "three"}) {
        browse_fields_builder record;
        record.set(browse_title, title);
        record.length = 4;
        record.write(*stream, abort_never);
    }
    stream->seek(0, abort_never);

    track_handle_ref held = handle("fake://s/held"), kept = handle("fake://s/location-held");
    give_info(held, "newer", 50);
    recorder heard;
    service_ptr<stream_info_loader> loader;
    ext->create_stream_info_loader(loader);
    loader->load(held, 40, *stream, abort_never);  // older than what the handle has: stepped over
    track_handle_ref out;
    loader->load_location(out, track_location("fake://s/location-held"), 60, *stream, abort_never);
    CHECK(out == kept);
    track_handle_ref alone;
    loader->load_location(alone, track_location("fake://s/nobody"), 60, *stream, abort_never);
    CHECK(title_of(held) == "newer");
    CHECK(title_of(kept) == "two");
    CHECK(title_of(alone) == "three");
    CHECK(heard.calls.empty());
    loader->commit();
    REQUIRE(heard.calls.size() == 1);
    CHECK(to_strings(heard.calls[0].tracks) == std::vector<std::string>{"fake://s/location-held#0"});
}
