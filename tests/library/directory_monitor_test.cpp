// Directory monitors: the pending back-off on a fake clock, the flags, polling and overflow through the
// environment's seams, and the real watch loop over folders changed while it runs.
#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "foundation/fs/memory_file.h"
#include "foundation/fs/memory_sink.h"
#include "foundation/tasks/critical_section.h"
#include "library/directory_monitor.h"
#include "library/monitor_environment.h"
#include "library/pending_files.h"
#include "shell/main_thread_queue.h"
#include "tests/library/snapshot_fixtures.h"

using namespace snapshot_fixtures;

namespace {

// --- pending files on a fake clock ----------------------------------------------------------------------

class scripted_pass final : public pending_files::pass_host {
public:
    uint32_t clock = 0;
    std::function<bool(const std::string&)> answer = [](const std::string&) { return true; };
    std::vector<std::pair<uint32_t, std::string>> tries;

    uint32_t now() override { return clock; }
    void check_abort() override {}
    bool refresh(const char* path) override {
        tries.emplace_back(clock, path);
        return answer(path);
    }
};

// --- a recording callback and a test environment ----------------------------------------------------------

class recording_callback final : public service_counted<folder_monitor_callback> {
public:
    explicit recording_callback(std::string root) : m_root(std::move(root)) {}

    // Main thread only.
    struct event {
        std::string what;  // "added NAME" / "removed NAME"
        DWORD tick;
    };
    std::vector<event> events;

    bool accepts_file(const char* location) override {
        // The file's size when the monitor asks about it, just before it reads the file.
        const std::string path = std::string(location).substr(std::strlen("file://"));
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        const int64_t size = GetFileAttributesExW(snapshot_fixtures::wide(path).c_str(), GetFileExInfoStandard, &data)
                                 ? static_cast<int64_t>((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow)
                                 : -1;
        kpl::critical_section_scope lock(m_lock);
        asked.push_back(location);
        asked_sizes.push_back(size);
        return true;
    }
    void on_items_added(const library_track_list& tracks) override { record("added", tracks); }
    void on_items_removed(const library_track_list& tracks) override { record("removed", tracks); }
    void on_busy_changed(bool busy) override {
        kpl::critical_section_scope lock(m_lock);
        busy_changes.push_back(busy);
    }

    uint32_t asked_count(const std::string& location) {
        kpl::critical_section_scope lock(m_lock);
        uint32_t n = 0;
        for (auto& a : asked) n += a == location;
        return n;
    }
    // The file's sizes at each time it was asked about.
    std::vector<int64_t> sizes_asked(const std::string& location) {
        kpl::critical_section_scope lock(m_lock);
        std::vector<int64_t> out;
        for (size_t i = 0; i < asked.size(); ++i)
            if (asked[i] == location) out.push_back(asked_sizes[i]);
        return out;
    }
    std::vector<std::string> asked_list() {
        kpl::critical_section_scope lock(m_lock);
        return asked;
    }
    std::vector<bool> busy_list() {
        kpl::critical_section_scope lock(m_lock);
        return busy_changes;
    }
    uint32_t count(const std::string& what) const {
        uint32_t n = 0;
        for (auto& e : events) n += e.what == what;
        return n;
    }
    const event* find(const std::string& what) const {
        for (auto& e : events)
            if (e.what == what) return &e;
        return nullptr;
    }

private:
    void record(const char* kind, const library_track_list& tracks) {
        for (uint32_t i = 0; i < tracks.count(); ++i)
            events.push_back({std::string(kind) + " " + track_name(*tracks.get_item(i), m_root), GetTickCount()});
    }

    std::string m_root;
    kpl::critical_section m_lock;
    std::vector<std::string> asked;
    std::vector<int64_t> asked_sizes;
    std::vector<bool> busy_changes;
};

class test_environment final : public monitor_environment {
public:
    volatile LONG fake_clock = 0;  // 0: the real clock
    volatile LONG failure = 0;
    volatile LONG overflow = 0;
    volatile LONG rescans = 0;
    volatile LONG sleeps = 0;

    uint32_t now_ms() override {
        const LONG fake = InterlockedCompareExchange(&fake_clock, 0, 0);
        return fake ? static_cast<uint32_t>(fake) : GetTickCount();
    }
    void sleep(const abort_signal& abort, double) override {
        InterlockedIncrement(&sleeps);
        abort.sleep(0.02);
    }
    double retry_seconds() override { return 0.05; }
    uint32_t watch_failure() override { return static_cast<uint32_t>(InterlockedCompareExchange(&failure, 0, 0)); }
    bool take_overflow() override { return InterlockedExchange(&overflow, 0) != 0; }
    void on_full_rescan() override { InterlockedIncrement(&rescans); }
    volatile LONG threads = 0;
    uint32_t read_threads() override { return static_cast<uint32_t>(get(threads)); }
    // Paths whose attributes answer "sharing violation" for ever (compared by their end).
    void lock_attributes(std::vector<std::wstring> ends) {
        kpl::critical_section_scope lock(m_lock);
        locked_attributes = std::move(ends);
    }
    volatile LONG attribute_refusals = 0;
    uint32_t file_attributes(const wchar_t* path, uint32_t& error) override {
        const std::wstring p = path;
        kpl::critical_section_scope lock(m_lock);
        for (const std::wstring& end : locked_attributes) {
            if (p.size() >= end.size() && p.compare(p.size() - end.size(), end.size(), end) == 0) {
                InterlockedIncrement(&attribute_refusals);
                error = ERROR_SHARING_VIOLATION;
                return INVALID_FILE_ATTRIBUTES;
            }
        }
        return monitor_environment::file_attributes(path, error);
    }

    LONG get(volatile LONG& v) { return InterlockedCompareExchange(&v, 0, 0); }
    void advance(LONG ms) { InterlockedExchangeAdd(&fake_clock, ms); }
    void set_clock(LONG ms) { InterlockedExchange(&fake_clock, ms); }

private:
    kpl::critical_section m_lock;
    std::vector<std::wstring> locked_attributes;
};

// Runs the main-thread queue until the condition holds; false after 30 seconds.
bool wait_for(const std::function<bool()>& condition) {
    const DWORD start = GetTickCount();
    for (;;) {
        main_thread_queue::drain(true);
        if (condition()) return true;
        if (GetTickCount() - start > 30000) return false;
        Sleep(10);
    }
}

struct monitor_fixture {
    explicit monitor_fixture(const char* tag) : tree(tag) {
        ensure_registry();
        callback = new recording_callback(tree.location());
    }
    ~monitor_fixture() {
        monitor.release();
        main_thread_queue::drain(true);
        callback->release();
    }
    void start(uint32_t flags, file_stream* stored = nullptr) {
        directory_monitor_create(monitor, callback, tree.location().c_str(), stored, flags, initial, environment);
    }
    bool settled() {
        service_ptr<directory_monitor_progress> progress;
        REQUIRE(service_query(monitor.get(), progress));
        return progress->is_settled();
    }

    temp_tree tree;
    test_environment environment;
    recording_callback* callback;
    service_ptr<directory_monitor_instance> monitor;
    library_track_array initial;
};

}  // namespace

TEST_CASE("monitor: a locked file is tried after its quiet time, then after waits of 375, 562, 843 ms ...") {
    pending_files pending;
    scripted_pass pass;
    pass.answer = [](const std::string& path) { return path != "locked.wav"; };
    pending.add("locked.wav", 250, 0);
    pending.add("zero.wav", 0, 0);
    std::vector<uint32_t> tried_at;
    for (pass.clock = 0; pass.clock <= 6000; pass.clock += 1) {
        pending.pass(pass);
    }
    for (auto& t : pass.tries)
        if (t.second == "locked.wav") tried_at.push_back(t.first);
    REQUIRE(tried_at.size() >= 5);
    CHECK(tried_at[0] == 250);
    std::vector<uint32_t> waits;
    for (size_t i = 1; i < tried_at.size(); ++i) waits.push_back(tried_at[i] - tried_at[i - 1]);
    CHECK(std::vector<uint32_t>(waits.begin(), waits.begin() + 4) == std::vector<uint32_t>{375, 562, 843, 1264});
    // The unlocked file was read once at once and left the queue.
    uint32_t zero_tries = 0;
    for (auto& t : pass.tries) zero_tries += t.second == "zero.wav";
    CHECK(zero_tries == 1);
    CHECK(pending.count() == 1);

    // The formula at its ends: a file queued with delay 0 that is locked waits 250 ms; never above 666000.
    struct row {
        uint32_t delay, next;
    };
    for (row r : {row{0, 250}, row{3, 250}, row{250, 375}, row{375, 562}, row{562, 843}, row{500000, 666000},
                  row{666000, 666000}, row{0xFFFFFFFF, 666000}}) {
        CAPTURE(r.delay);
        CHECK(pending_files::next_delay(r.delay) == r.next);
    }
}

TEST_CASE("monitor: a path that keeps changing waits until it has been quiet for its delay") {
    pending_files pending;
    scripted_pass pass;
    for (pass.clock = 0; pass.clock <= 2000; ++pass.clock) {
        if (pass.clock <= 1000 && pass.clock % 100 == 0) pending.add("busy.wav", 250, pass.clock);  // every 100 ms
        pending.pass(pass);
    }
    REQUIRE(pass.tries.size() == 1);
    CHECK(pass.tries[0].first == 1250);
    CHECK(pending.empty());
}

TEST_CASE("monitor: flags 4 rescan once, report, and end the thread") {
    monitor_fixture f("mon-once");
    f.tree.wav("a.wav");
    f.tree.folder("d");
    f.tree.wav("d\\b.wav");
    f.start(directory_monitor_no_watch);
    REQUIRE(wait_for([&] { return f.monitor->is_finished() && f.callback->events.size() == 2; }));
    CHECK(f.callback->count("added a.wav#0") == 1);
    CHECK(f.callback->count("added d\\b.wav#0") == 1);
    CHECK(f.environment.get(f.environment.rescans) == 1);
    CHECK(f.callback->busy_list().front() == true);
    CHECK(f.callback->busy_list().back() == false);
}

TEST_CASE("monitor: files read on worker threads reach the callback as when the monitor reads them itself") {
    for (LONG threads : {0, 3}) {
        CAPTURE(threads);
        monitor_fixture f("mon-ahead");
        f.environment.threads = threads;
        for (int d = 0; d < 4; ++d) f.tree.folder("d" + std::to_string(d));
        for (int i = 0; i < 40; ++i) f.tree.wav("d" + std::to_string(i % 4) + "\\" + std::to_string(i) + ".wav");
        f.tree.text("d1\\bad.wav", "RIFF-but-not-really");
        f.start(directory_monitor_no_watch);
        REQUIRE(wait_for([&] { return f.monitor->is_finished() && f.callback->events.size() == 40; }));
        for (int i = 0; i < 40; ++i)
            CHECK(f.callback->count("added d" + std::to_string(i % 4) + "\\" + std::to_string(i) + ".wav#0") == 1);
        // Every file offered to the callback once, in path order.
        std::vector<std::string> asked = f.callback->asked_list();
        CHECK(asked.size() == 41);
        CHECK(std::is_sorted(asked.begin(), asked.end()));
    }
}

TEST_CASE("monitor: released while its workers read, it stops at once and reports nothing more") {
    monitor_fixture f("mon-ahead-stop");
    f.environment.threads = 3;
    f.tree.folder("d");
    for (int i = 0; i < 300; ++i) f.tree.wav("d\\" + std::to_string(1000 + i) + ".wav");
    f.start(directory_monitor_no_watch);
    // Reading has begun when the first file is offered to the callback.
    const DWORD start = GetTickCount();
    while (f.callback->asked_list().empty() && GetTickCount() - start < 30000) Sleep(1);
    REQUIRE_FALSE(f.callback->asked_list().empty());
    f.monitor.release();
    const size_t asked = f.callback->asked_list().size();
    main_thread_queue::drain(true);
    CHECK(f.callback->events.empty());
    Sleep(50);
    CHECK(f.callback->asked_list().size() == asked);
}

TEST_CASE("monitor: flags 6 start no thread; the stored tracks are all there is, until set_flags(0)") {
    monitor_fixture f("mon-stored");
    f.tree.wav("a.wav");
    f.tree.wav("b.wav");
    memory_sink saved;
    // Store this tree's state through a monitor of its own, then start again with flags 6.
    {
        recording_callback* cb = new recording_callback(f.tree.location());
        service_ptr<directory_monitor_instance> m;
        library_track_array none;
        directory_monitor_create(m, cb, f.tree.location().c_str(), nullptr, directory_monitor_no_watch, none,
                                 f.environment);
        REQUIRE(wait_for([&] { return m->is_finished() && cb->events.size() == 2; }));
        m->save_state(saved, abort_never);
        m.release();
        cb->release();
    }
    f.tree.wav("c.wav");
    file_stream_ref stored = memory_file::create();
    stored->write(saved.data(), saved.size(), abort_never);
    stored->seek(0, abort_never);
    const LONG rescans = f.environment.get(f.environment.rescans);
    f.start(directory_monitor_skip_rescan | directory_monitor_no_watch, stored.get());
    CHECK(f.monitor->is_finished());
    CHECK(f.settled());
    CHECK(f.initial.count() == 2);
    main_thread_queue::drain(true);
    CHECK(f.callback->events.empty());
    CHECK(f.environment.get(f.environment.rescans) == rescans);

    f.monitor->set_flags(0);
    REQUIRE(wait_for([&] { return f.callback->count("added c.wav#0") == 1; }));
    CHECK(f.callback->count("added a.wav#0") == 0);  // already known: not read, not reported again
    CHECK(f.callback->asked_count(f.tree.location("a.wav")) == 0);
}

TEST_CASE("monitor: a folder without change notifications is polled") {
    monitor_fixture f("mon-poll");
    f.tree.wav("a.wav");
    const LONG start = 1000000;
    f.environment.fake_clock = start;
    f.environment.failure = ERROR_NOT_SUPPORTED;
    f.start(0);
    REQUIRE(wait_for([&] { return f.environment.get(f.environment.rescans) == 1; }));
    // The clock moves on while the test waits (at most 3 s), past the new file's quiet time and the next pass.
    REQUIRE(wait_for([&] {
        if (f.environment.get(f.environment.fake_clock) < start + 3000) f.environment.advance(100);
        return f.callback->count("added a.wav#0") == 1;
    }));

    // Less than a minute after the first rescan: no rescan, however many seconds of polling pass.
    f.tree.wav("b.wav");
    f.environment.set_clock(start + 59000);
    const LONG sleeps = f.environment.get(f.environment.sleeps);
    REQUIRE(wait_for([&] { return f.environment.get(f.environment.sleeps) > sleeps + 5; }));
    CHECK(f.environment.get(f.environment.rescans) == 1);
    CHECK(f.callback->count("added b.wav#0") == 0);

    // A minute after it: the second rescan finds the new file.
    f.environment.set_clock(start + 3000 + 60000);
    REQUIRE(wait_for([&] { return f.environment.get(f.environment.rescans) == 2; }));
    REQUIRE(wait_for([&] {
        f.environment.advance(100);
        return f.callback->count("added b.wav#0") == 1;
    }));
}

TEST_CASE("monitor: failing attempts are retried, and after the 11th the monitor reports itself idle") {
    monitor_fixture f("mon-retry");
    f.environment.failure = ERROR_ACCESS_DENIED;
    f.start(0);
    REQUIRE(wait_for([&] { return f.monitor->is_finished(); }));
    const std::vector<bool> busy = f.callback->busy_list();
    REQUIRE(busy.size() >= 2);
    CHECK(busy[0] == true);
    CHECK(busy[1] == false);
    CHECK(f.environment.get(f.environment.rescans) == 0);
    // Once the folder works again the monitor rescans and watches.
    f.tree.wav("late.wav");
    f.environment.failure = 0;
    REQUIRE(wait_for([&] { return f.callback->count("added late.wav#0") == 1; }));
}

TEST_CASE("monitor: a report still queued when the monitor goes is dropped") {
    monitor_fixture f("mon-drop");
    f.tree.wav("a.wav");
    f.start(directory_monitor_no_watch);
    const DWORD start = GetTickCount();
    while (!f.monitor->is_finished() && GetTickCount() - start < 30000) Sleep(10);
    REQUIRE(f.monitor->is_finished());
    REQUIRE(main_thread_queue::pending() > 0);
    f.monitor.release();
    main_thread_queue::drain(true);
    CHECK(f.callback->events.empty());
}

TEST_CASE("monitor: watching a real folder changed from Linux") {
    monitor_fixture f("mon-watch");
    f.tree.wav("first.wav");
    f.tree.stage_source(wav_bytes(8000));
    f.start(0);
    // Settled: every new file read and reported (idle alone comes with the first pass, settled after it).
    REQUIRE(wait_for([&] { return f.settled(); }));
    main_thread_queue::drain(true);
    CHECK(f.callback->count("added first.wav#0") == 1);

    SUBCASE("a copied file is read once") {
        f.tree.run_linux("cp \"$SOURCE\" copied.wav");
        REQUIRE(wait_for([&] { return f.callback->count("added copied.wav#0") == 1; }));
        CHECK(f.callback->asked_count(f.tree.location("copied.wav")) == 1);
    }
    SUBCASE("a file written in pieces is read once, after its writes stop") {
        // Eight pieces 50 ms apart, each one a change, never quiet for 250 ms until the last. One process
        // writes them all: starting a program per piece can take longer than the quiet time on a busy machine.
        f.tree.run_linux(
            "python3 -c 'import sys, time\n"
            "data = open(sys.argv[1], \"rb\").read()\n"
            "piece = (len(data) + 7) // 8\n"
            "with open(\"slow.wav\", \"wb\", buffering=0) as out:\n"
            "    for i in range(8):\n"
            "        out.write(data[i * piece:(i + 1) * piece])\n"
            "        time.sleep(0.05)\n"
            "' \"$SOURCE\"");
        REQUIRE(wait_for([&] { return f.callback->count("added slow.wav#0") == 1; }));
        // Asked about (and read) once, when the file was whole: not while its pieces were still coming.
        const std::vector<int64_t> sizes = f.callback->sizes_asked(f.tree.location("slow.wav"));
        REQUIRE(sizes.size() == 1);
        CHECK(sizes[0] == static_cast<int64_t>(wav_bytes(8000).size()));
    }
    SUBCASE("a deleted file is removed") {
        f.tree.run_linux("rm first.wav");
        REQUIRE(wait_for([&] { return f.callback->count("removed first.wav#0") == 1; }));
    }
    SUBCASE("a renamed file is removed and added under its new name") {
        f.tree.run_linux("mv first.wav second.wav");
        REQUIRE(wait_for([&] {
            return f.callback->count("removed first.wav#0") == 1 && f.callback->count("added second.wav#0") == 1;
        }));
    }
    SUBCASE("a new subfolder's files come") {
        f.tree.run_linux("mkdir -p new/deeper && cp \"$SOURCE\" new/inner.wav && cp \"$SOURCE\" new/deeper/leaf.wav");
        REQUIRE(wait_for([&] {
            return f.callback->count("added new\\inner.wav#0") == 1 &&
                   f.callback->count("added new\\deeper\\leaf.wav#0") == 1;
        }));
    }
    SUBCASE("attributes that stay locked: the stored ones serve, unknown paths are passed over") {
        f.environment.lock_attributes({L"\\first.wav", L"\\blocked.wav"});
        f.tree.run_linux("cp \"$SOURCE\" blocked.wav && cp \"$SOURCE\" first.wav");  // first.wav: a known file changed
        REQUIRE(wait_for([&] { return f.callback->asked_count(f.tree.location("first.wav")) == 2; }));
        CHECK(f.environment.get(f.environment.attribute_refusals) >= 100);
        // The monitor goes on: later changes still come.
        f.tree.run_linux("cp \"$SOURCE\" after.wav");
        REQUIRE(wait_for([&] { return f.callback->count("added after.wav#0") == 1; }));
        CHECK(f.callback->count("added blocked.wav#0") == 0);
    }
    SUBCASE("an overflowed notification rescans the whole folder") {
        const LONG rescans = f.environment.get(f.environment.rescans);
        f.environment.overflow = 1;
        f.tree.run_linux("cp \"$SOURCE\" over.wav");
        REQUIRE(wait_for([&] { return f.callback->count("added over.wav#0") == 1; }));
        CHECK(f.environment.get(f.environment.rescans) >= rescans + 1);
    }
    // Every track was reported once at most.
    for (auto& e : f.callback->events) {
        CAPTURE(e.what);
        CHECK(f.callback->count(e.what) == 1);
    }
}
