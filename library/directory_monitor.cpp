#include "library/directory_monitor.h"

#include <windows.h>

#include <cstring>
#include <exception>
#include <string>

#include "foundation/fs/local_path.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/thread.h"
#include "foundation/win32/win_string.h"
#include "library/folder_snapshot.h"
#include "library/monitor_environment.h"
#include "library/pending_files.h"
#include "shell/main_thread_queue.h"

// --- the environment --------------------------------------------------------------------------------------

uint32_t monitor_environment::now_ms() { return GetTickCount(); }
void monitor_environment::sleep(const abort_signal& abort, double seconds) { abort.sleep(seconds); }
double monitor_environment::retry_seconds() { return 10.0; }
uint32_t monitor_environment::watch_failure() { return 0; }
bool monitor_environment::take_overflow() { return false; }
void monitor_environment::on_full_rescan() {}
uint32_t monitor_environment::file_attributes(const wchar_t* path, uint32_t& error) {
    const DWORD attributes = GetFileAttributesW(path);
    error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0;
    return attributes;
}
uint32_t monitor_environment::read_threads() {
    // Measured under Wine (tools/bench/library_bench.sh): each open is a few round trips to the Wine
    // server, and handing files between threads only added to them; the monitor thread reads alone.
    return 0;
}

namespace {

class real_environment final : public monitor_environment {};
real_environment g_real_environment;

}  // namespace

monitor_environment& monitor_environment::real() { return g_real_environment; }

namespace {

constexpr uint32_t watch_filter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                  FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                                  FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_CREATION;  // 0x11F
constexpr DWORD notification_buffer_size = 65536;
constexpr uint32_t pass_interval_ms = 500;
constexpr uint32_t probe_interval_ms = 5000;
constexpr uint32_t early_flush_ms = 5000;
constexpr uint32_t early_flush_changes = 100;
// GetFileAttributesW answering "sharing violation" is tried this often, 10 ms apart, before the stored
// attributes are used instead (some system files answer it for as long as they exist).
constexpr uint32_t attribute_tries = 100;

// The callback as the monitor's reports see it: cleared when the monitor goes, so that reports still
// queued for the main thread are dropped.
class callback_holder final : public service_counted<main_thread_callback> {
public:
    explicit callback_holder(folder_monitor_callback* callback) : m_callback(callback) {}
    folder_monitor_callback* get() const { return m_callback.get(); }
    void clear() { m_callback.release(); }
    void run() override {}

private:
    service_ptr<folder_monitor_callback> m_callback;
};

class change_notification final : public service_counted<main_thread_callback> {
public:
    explicit change_notification(callback_holder* holder) : m_holder(holder) {}
    library_track_array added, removed;

    void run() override {
        try {
            folder_monitor_callback* callback = m_holder->get();
            if (!callback) return;
            if (removed.count()) callback->on_items_removed(removed);
            if (added.count()) callback->on_items_added(added);
        } catch (const std::exception&) {
        }
    }

private:
    service_ptr<callback_holder> m_holder;
};

bool is_notification_unsupported(uint32_t code) {
    return code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED || code == ERROR_TOO_MANY_CMDS;
}

class monitor final : public service_counted<directory_monitor_instance, directory_monitor_progress>,
                      public snapshot_host {
public:
    monitor(folder_monitor_callback* callback, const char* root, monitor_environment& environment)
        : m_holder(new callback_holder(callback)), m_root(root), m_environment(environment), m_snapshot(*this),
          m_runner(*this) {
        m_holder->release();  // the service_ptr holds the one reference
    }

    ~monitor() override {
        stop();
        close_directory();
        m_holder->clear();
    }

    // directory_monitor_instance
    void save_state(byte_sink& out, const abort_signal& abort) override { m_snapshot.save(out, abort); }
    bool is_finished() override { return InterlockedCompareExchange(&m_finished, 0, 0) != 0; }
    bool is_settled() override {
        return !m_runner.is_started() || InterlockedCompareExchange(&m_settled, 0, 0) != 0 ||
               WaitForSingleObject(m_runner.handle(), 0) == WAIT_OBJECT_0;
    }
    void set_flags(uint32_t flags) override {
        stop();
        m_flags = flags;
        start();
    }

    // snapshot_host
    const char* root() const override { return m_root.c_str(); }
    const abort_signal& abort() const override { return m_abort; }
    kpl::critical_section& lock() override { return m_lock; }
    void queue_path(const char* relative, uint32_t delay_ms) override {
        InterlockedExchange(&m_settled, 0);
        m_pending.add(relative, delay_ms, m_environment.now_ms());
    }
    void unqueue_path(const char* relative) override { m_pending.remove(relative); }
    bool accepts_file(const char* location) override {
        folder_monitor_callback* callback = m_holder->get();
        return !callback || callback->accepts_file(location);
    }
    void flush(snapshot_batch& batch) override {
        batch.commit_hints();
        std::map<track_handle*, track_handle_ref> added, removed;
        batch.take_sets(added, removed);
        if (added.empty() && removed.empty()) return;
        if (m_added.empty() && m_removed.empty()) {
            // Nothing held yet (the usual case): the batch's sets become the monitor's without a copy, which
            // for a first reading of a folder would hold every track twice for a moment.
            m_added.swap(added);
            m_removed.swap(removed);
            flush_sets();
            return;
        }
        for (auto& a : added) {
            m_removed.erase(a.first);
            m_added[a.first] = a.second;
        }
        for (auto& r : removed) {
            m_added.erase(r.first);
            m_removed[r.first] = r.second;
        }
        flush_sets();
    }

    void load(file_stream& stored, library_track_list& initial) {
        m_pending.clear();
        snapshot_batch batch(*this, main_thread::is_current());
        m_snapshot.load(batch, stored, initial);
    }

    void set_initial_flags(uint32_t flags) { m_flags = flags; }

    void start() {
        m_abort.reset();
        if ((m_flags & directory_monitor_skip_rescan) && (m_flags & directory_monitor_no_watch)) {
            InterlockedExchange(&m_finished, 1);
            return;
        }
        InterlockedExchange(&m_finished, 0);
        InterlockedExchange(&m_settled, 0);
        m_runner.start(THREAD_PRIORITY_BELOW_NORMAL);
    }

    void stop() {
        if (!m_runner.is_started()) return;
        m_abort.set();
        SetThreadPriority(m_runner.handle(), GetThreadPriority(GetCurrentThread()));
        m_runner.wait_and_close();
    }

private:
    class runner final : public kpl::thread {
    public:
        explicit runner(monitor& owner) : m_owner(owner) {}
        ~runner() override { wait_and_close(); }

    private:
        void body() override { m_owner.thread_body(); }
        monitor& m_owner;
    };

    // The pending pass's view of the monitor.
    class pass_driver final : public pending_files::pass_host {
    public:
        pass_driver(monitor& owner, snapshot_batch& batch) : m_owner(owner), m_batch(batch) {
            m_last_flush = owner.m_environment.now_ms();
        }
        ~pass_driver() { m_owner.m_snapshot.end_read_ahead(); }
        pass_driver(const pass_driver&) = delete;
        pass_driver& operator=(const pass_driver&) = delete;
        void before_pass(const std::vector<std::string_view>& due) override {
            const uint32_t threads = m_owner.m_environment.read_threads();
            if (threads > 0 && due.size() > 1) m_owner.m_snapshot.begin_read_ahead(due, threads);
        }
        uint32_t now() override { return m_owner.m_environment.now_ms(); }
        void check_abort() override { m_owner.m_abort.check(); }
        bool refresh(const char* path) override { return m_owner.m_snapshot.refresh_file(m_batch, path); }
        void after_refresh() override {
            if (m_batch.on_main_thread() || m_batch.change_count() < early_flush_changes) return;
            const uint32_t now = m_owner.m_environment.now_ms();
            if (now - m_last_flush < early_flush_ms) return;
            m_owner.flush(m_batch);
            m_last_flush = now;
        }

    private:
        monitor& m_owner;
        snapshot_batch& m_batch;
        uint32_t m_last_flush;
    };

    void busy(bool value) {
        folder_monitor_callback* callback = m_holder->get();
        if (!callback) return;
        try {
            callback->on_busy_changed(value);
        } catch (const std::exception&) {
        }
    }

    void report_idle() {
        InterlockedExchange(&m_settled, m_pending.empty() && m_added.empty() && m_removed.empty() ? 1 : 0);
        InterlockedExchange(&m_finished, 1);
        busy(false);
    }

    void thread_body() {
        try {
            busy(true);
            for (uint32_t attempt = 0;; ++attempt) {
                if (attempt > 10) report_idle();
                try {
                    run_attempt();
                } catch (const ketrel_io::exception_aborted&) {
                    break;
                } catch (const std::exception& e) {
                    if (m_last_error != e.what()) m_last_error = e.what();
                    close_directory();
                }
                if (!m_abort.wait_event(m_environment.retry_seconds())) break;
            }
        } catch (...) {
        }
        busy(false);
        InterlockedExchange(&m_finished, 1);
    }

    void run_attempt() {
        if (m_flags & directory_monitor_no_watch) {
            rescan_once_loop();
            throw ketrel_io::exception_aborted();
        }
        bool poll = false;
        try {
            watch_loop();
        } catch (const exception_win32& e) {
            if (!is_notification_unsupported(e.code())) throw;
            poll = true;
        }
        if (poll) polling_loop();
    }

    void open_directory() {
        if (m_directory != INVALID_HANDLE_VALUE) return;
        if (std::strncmp(m_root.c_str(), "file://", 7) != 0) throw ketrel_io::exception_io_no_handler_for_path();
        kpl::utf8_string_pow2 path;
        local_path::to_long_path(m_root.c_str(), path);
        HANDLE h = CreateFileW(win_string_param(path.c_str()).get(), FILE_LIST_DIRECTORY,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) exception_win32::throw_last_error();
        m_directory = h;
    }

    void close_directory() {
        if (m_directory == INVALID_HANDLE_VALUE) return;
        CloseHandle(m_directory);
        m_directory = INVALID_HANDLE_VALUE;
    }

    void full_rescan() {
        m_environment.on_full_rescan();
        snapshot_batch batch(*this, false);
        m_snapshot.rescan(batch);
        flush(batch);
    }

    // An outstanding change request, cancelled when the loop is left.
    class request_scope {
    public:
        explicit request_scope(HANDLE directory) : m_directory(directory) {
            m_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            if (!m_event) exception_win32::throw_last_error();
        }
        ~request_scope() {
            if (m_outstanding) {
                CancelIo(m_directory);
                DWORD bytes = 0;
                GetOverlappedResult(m_directory, &overlapped, &bytes, TRUE);
            }
            CloseHandle(m_event);
        }
        request_scope(const request_scope&) = delete;
        request_scope& operator=(const request_scope&) = delete;

        OVERLAPPED overlapped = {};
        HANDLE m_directory;
        HANDLE m_event;
        bool m_outstanding = false;
    };

    void watch_loop() {
        open_directory();
        if (!m_buffer) m_buffer.reset(new DWORD[notification_buffer_size / sizeof(DWORD)]);
        request_scope request(m_directory);
        uint32_t last_activity = m_environment.now_ms();
        m_last_pass = last_activity - pass_interval_ms;
        bool first = true;
        for (;;) {
            if (const uint32_t code = m_environment.watch_failure()) throw exception_win32(code);
            request.overlapped = OVERLAPPED();
            request.overlapped.hEvent = request.m_event;
            if (!ReadDirectoryChangesW(m_directory, m_buffer.get(), notification_buffer_size, TRUE, watch_filter,
                                       nullptr, &request.overlapped, nullptr))
                exception_win32::throw_last_error();
            request.m_outstanding = true;
            if (first) {
                first = false;
                if (!(m_flags & directory_monitor_skip_rescan)) {
                    full_rescan();
                    last_activity = m_environment.now_ms();
                }
            }
            for (;;) {
                HANDLE waits[2] = {request.m_event, m_abort.get_event()};
                const DWORD r = WaitForMultipleObjects(2, waits, FALSE, 250);
                if (r == WAIT_OBJECT_0 + 1 || m_abort.is_set()) throw ketrel_io::exception_aborted();
                if (r == WAIT_OBJECT_0) break;
                if (r != WAIT_TIMEOUT) exception_win32::throw_last_error();
                if (m_environment.now_ms() - last_activity > probe_interval_ms) {
                    BY_HANDLE_FILE_INFORMATION info;
                    if (!GetFileInformationByHandle(m_directory, &info)) exception_win32::throw_last_error();
                    last_activity = m_environment.now_ms();
                }
                pending_pass();
                report_idle();
            }
            last_activity = m_environment.now_ms();
            DWORD bytes = 0;
            bool overflow = false;
            if (!GetOverlappedResult(m_directory, &request.overlapped, &bytes, FALSE)) {
                const DWORD error = GetLastError();
                if (error != ERROR_NOTIFY_ENUM_DIR) throw exception_win32(error);
                overflow = true;
            }
            request.m_outstanding = false;
            if (m_environment.take_overflow()) overflow = true;
            if (bytes == 0) overflow = true;
            if (overflow)
                full_rescan();
            else
                apply_records(bytes);
            pending_pass();
            report_idle();
        }
    }

    void apply_records(DWORD bytes) {
        const uint8_t* base = reinterpret_cast<const uint8_t*>(m_buffer.get());
        DWORD offset = 0;
        std::string old_name;
        bool have_old = false;
        kpl::array<wchar_t> wide;
        for (;;) {
            if (offset + offsetof(FILE_NOTIFY_INFORMATION, FileName) > bytes) break;
            const FILE_NOTIFY_INFORMATION* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(base + offset);
            const DWORD name_bytes = record->FileNameLength;
            if (offset + offsetof(FILE_NOTIFY_INFORMATION, FileName) + name_bytes > bytes) break;
            const uint32_t units = name_bytes / sizeof(WCHAR);
            wide.resize_exact(units + 1);
            std::memcpy(wide.data(), record->FileName, units * sizeof(WCHAR));
            wide[units] = 0;
            const kpl::utf8_string_pow2 name = utf16_to_utf8_string(wide.data());
            apply_record(record->Action, name.c_str(), old_name, have_old);
            if (!record->NextEntryOffset) break;
            offset += record->NextEntryOffset;
        }
    }

    void apply_record(DWORD action, const char* name, std::string& old_name, bool& have_old) {
        snapshot_batch batch(*this, false);
        uint32_t attributes = 0;
        switch (action) {
            case FILE_ACTION_ADDED:
                if (read_attributes(name, attributes)) m_snapshot.add_path(batch, name, attributes);
                break;
            case FILE_ACTION_REMOVED:
                m_pending.remove(name);
                m_snapshot.remove_path(batch, name);
                break;
            case FILE_ACTION_MODIFIED:
                if (read_attributes(name, attributes)) m_snapshot.modify_path(batch, name, attributes);
                break;
            case FILE_ACTION_RENAMED_OLD_NAME:
                old_name = name;
                have_old = true;
                break;
            case FILE_ACTION_RENAMED_NEW_NAME:
                if (!have_old) throw kpl::exception_bug_check_v2();
                if (read_attributes(name, attributes)) {
                    m_pending.remove(old_name);
                    m_snapshot.rename_path(batch, old_name.c_str(), name, attributes);
                }
                have_old = false;
                old_name.clear();
                break;
            default:
                break;
        }
        flush(batch);
    }

    // The attributes of a path relative to the root: from the disk, or those the snapshot holds when the
    // disk cannot tell; false when neither knows the path.
    bool read_attributes(const char* relative, uint32_t& out) {
        try {
            kpl::utf8_string_pow2 location(m_root.c_str());
            if (location.length() == 0 || location.c_str()[location.length() - 1] != '\\') location.append_char('\\');
            location << relative;
            kpl::utf8_string_pow2 path;
            local_path::to_long_path(location.c_str(), path);
            const auto wide = win_string_param(path.c_str());
            for (uint32_t tries = 1;; ++tries) {
                uint32_t error = 0;
                const uint32_t attributes = m_environment.file_attributes(wide.get(), error);
                if (attributes != INVALID_FILE_ATTRIBUTES) {
                    out = attributes;
                    return true;
                }
                if (error != ERROR_SHARING_VIOLATION || tries >= attribute_tries) throw_win32_io_error(error);
                m_abort.sleep(0.01);
            }
        } catch (const ketrel_io::exception_aborted&) {
            throw;
        } catch (const std::exception&) {
            return m_snapshot.stored_attributes(relative, out);
        }
    }

    void polling_loop() {
        m_last_pass = m_environment.now_ms() - pass_interval_ms;
        uint32_t started = m_environment.now_ms();
        full_rescan();
        uint32_t ended = m_environment.now_ms();
        uint32_t duration = ended - started;
        for (;;) {
            m_environment.sleep(m_abort, 1.0);
            const uint64_t interval = duration * 20ull > 60000 ? duration * 20ull : 60000;
            if (m_environment.now_ms() - ended >= interval) {
                started = m_environment.now_ms();
                full_rescan();
                ended = m_environment.now_ms();
                duration = ended - started;
            }
            pending_pass();
            report_idle();
        }
    }

    void rescan_once_loop() {
        m_last_pass = m_environment.now_ms() - pass_interval_ms;
        full_rescan();
        while (!m_added.empty() || !m_removed.empty() || !m_pending.empty()) {
            pending_pass();
            if (m_pending.empty()) break;
            m_environment.sleep(m_abort, 1.0);
        }
    }

    void pending_pass() {
        if (m_environment.now_ms() - m_last_pass < pass_interval_ms) return;
        m_abort.check();
        snapshot_batch batch(*this, main_thread::is_current());
        {
            pass_driver driver(*this, batch);  // its read-ahead ends before the batch is handed on
            m_pending.pass(driver);
        }
        flush(batch);
        flush_sets();
        m_last_pass = m_environment.now_ms();
    }

    void flush_sets() {
        if (m_added.empty() && m_removed.empty()) return;
        change_notification* note = new change_notification(m_holder.get());
        service_ptr<change_notification> hold;
        hold.assign(note);
        note->release();
        for (auto& a : m_added) note->added.append(a.second);
        for (auto& r : m_removed) note->removed.append(r.second);
        m_added.clear();
        m_removed.clear();
        if (main_thread::is_current())
            note->run();
        else
            main_thread_queue::post(note);
    }

    service_ptr<callback_holder> m_holder;
    kpl::utf8_string_tight m_root;
    monitor_environment& m_environment;
    uint32_t m_flags = 0;
    kpl::waitable_flag m_abort;
    kpl::critical_section m_lock;
    folder_snapshot m_snapshot;
    pending_files m_pending;
    std::map<track_handle*, track_handle_ref> m_added, m_removed;
    std::unique_ptr<DWORD[]> m_buffer;
    HANDLE m_directory = INVALID_HANDLE_VALUE;
    std::string m_last_error;
    uint32_t m_last_pass = 0;
    volatile LONG m_finished = 0;
    volatile LONG m_settled = 0;
    runner m_runner;  // last: stopped before anything above goes
};

class directory_monitor_service final : public service_static<directory_monitor> {
public:
    void create_monitor(service_ptr<directory_monitor_instance>& out, folder_monitor_callback* callback,
                        const char* root, file_stream* stored, uint32_t flags, library_track_list& initial) override {
        directory_monitor_create(out, callback, root, stored, flags, initial, monitor_environment::real());
    }
};

service_factory_single<directory_monitor_service, directory_monitor> g_directory_monitor;

}  // namespace

void directory_monitor_create(service_ptr<directory_monitor_instance>& out, folder_monitor_callback* callback,
                              const char* root, file_stream* stored, uint32_t flags, library_track_list& initial,
                              monitor_environment& environment) {
    monitor* made = new monitor(callback, root, environment);
    service_ptr<directory_monitor_instance> hold;
    hold.assign(made);
    made->release();  // `hold` keeps the one reference
    made->set_initial_flags(flags);
    if (stored) {
        library_track_array loaded;
        made->load(*stored, loaded);
        initial.insert_from(loaded, initial.count());
    }
    made->start();
    out = std::move(hold);
}
