#include "foundation/fs/path_lock.h"

#include <windows.h>

#include <list>
#include <map>
#include <string>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/critical_section.h"

namespace {

class held_lock;

struct holder_counts {
    uint32_t exclusive = 0;
    uint32_t shared = 0;
};

struct waiter {
    bool exclusive = false;
    HANDLE event = nullptr;
    held_lock* granted = nullptr;  // one reference, for the waiter to hand to its caller
};

using waiter_list = std::list<waiter*>;

// Everything the manager knows, under one critical section. Waiting happens outside it.
struct lock_tables {
    kpl::critical_section section;
    std::map<std::string, holder_counts> holders;
    std::map<std::string, waiter_list> waiting[2];  // by mode: 0 readers, 1 writers; lists first in, first out

    bool has_waiters(const std::string& key, unsigned mode) const { return waiting[mode].count(key) != 0; }
    void grant(const std::string& key);
    void remove(const std::string& key, waiter& w);
    void withdraw(const std::string& key, waiter& w);
};

lock_tables g_tables;

// A holder from its creation (under the tables' lock, by grant) to its destruction (its last release).
class held_lock final : public service_counted<path_lock> {
public:
    held_lock(const std::string& key, bool exclusive) : m_key(key), m_exclusive(exclusive) {
        holder_counts& counts = g_tables.holders[m_key];
        ++(m_exclusive ? counts.exclusive : counts.shared);
    }
    ~held_lock() override {
        kpl::critical_section_scope lock(g_tables.section);
        auto found = g_tables.holders.find(m_key);
        if (found != g_tables.holders.end()) {
            holder_counts& counts = found->second;
            --(m_exclusive ? counts.exclusive : counts.shared);
            if (counts.exclusive == 0 && counts.shared == 0) g_tables.holders.erase(found);
        }
        g_tables.grant(m_key);
    }

    bool is_contended() override {
        kpl::critical_section_scope lock(g_tables.section);
        return g_tables.has_waiters(m_key, path_lock_manager::mode_exclusive) ||
               (m_exclusive && g_tables.has_waiters(m_key, path_lock_manager::mode_shared));
    }

private:
    const std::string m_key;
    const bool m_exclusive;
};

// Under the lock: lets in whoever may go now. A free key goes to the first waiting writer alone; a key
// without writers (holding or waiting) goes to every waiting reader.
void lock_tables::grant(const std::string& key) {
    holder_counts counts;
    auto held = holders.find(key);
    if (held != holders.end()) counts = held->second;
    auto writers = waiting[1].find(key);
    auto readers = waiting[0].find(key);
    waiter_list* list = nullptr;
    bool all = false;
    if (writers != waiting[1].end() && counts.exclusive == 0 && counts.shared == 0) {
        list = &writers->second;
    } else if (readers != waiting[0].end() && writers == waiting[1].end() && counts.exclusive == 0) {
        list = &readers->second;
        all = true;
    }
    if (list == nullptr) return;
    const unsigned mode = all ? 0 : 1;
    do {
        waiter* w = list->front();
        w->granted = new held_lock(key, w->exclusive);
        list->pop_front();
        SetEvent(w->event);
    } while (all && !list->empty());
    if (list->empty()) waiting[mode].erase(key);
}

// Under the lock: takes a waiter that was not granted off its list.
void lock_tables::remove(const std::string& key, waiter& w) {
    const unsigned mode = w.exclusive ? 1 : 0;
    auto entry = waiting[mode].find(key);
    if (entry == waiting[mode].end()) return;
    entry->second.remove(&w);
    if (entry->second.empty()) waiting[mode].erase(entry);
}

// Under the lock: removes a waiter that gives up, and lets in whoever it was holding up.
void lock_tables::withdraw(const std::string& key, waiter& w) {
    remove(key, w);
    // A writer that gives up must not keep the readers queued behind it waiting for the next release.
    grant(key);
}

class manager final : public service_static<path_lock_manager> {
public:
    void acquire(service_ref& out, const char* key_text, unsigned mode, const abort_signal& abort) override {
        abort.check();
        const std::string key(key_text ? key_text : "");
        waiter w;
        w.exclusive = mode == mode_exclusive;
        {
            // Nobody waits for the key and its holders let this mode in: granted at once, without an event
            // (the same outcome as queueing and granting, at a fraction of the cost).
            kpl::critical_section_scope lock(g_tables.section);
            if (!g_tables.has_waiters(key, mode_shared) && !g_tables.has_waiters(key, mode_exclusive)) {
                holder_counts counts;
                auto held = g_tables.holders.find(key);
                if (held != g_tables.holders.end()) counts = held->second;
                if (counts.exclusive == 0 && (!w.exclusive || counts.shared == 0)) {
                    service_ref granted;
                    granted.attach(static_cast<path_lock*>(new held_lock(key, w.exclusive)));
                    out = granted;
                    return;
                }
            }
        }
        w.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (w.event == nullptr) exception_win32::throw_last_error();
        struct close_event {
            HANDLE event;
            ~close_event() { CloseHandle(event); }
        } closer{w.event};

        {
            kpl::critical_section_scope lock(g_tables.section);
            try {
                g_tables.waiting[w.exclusive ? 1 : 0][key].push_back(&w);
                g_tables.grant(key);
            } catch (...) {
                // Out of memory: leave no trace of the request.
                if (w.granted != nullptr) w.granted->release();
                else g_tables.remove(key, w);
                throw;
            }
        }

        const HANDLE events[2] = {w.event, abort.get_event()};
        const DWORD result = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        const DWORD error = GetLastError();

        service_ref granted;
        {
            kpl::critical_section_scope lock(g_tables.section);
            if (w.granted != nullptr) granted.attach(static_cast<path_lock*>(w.granted));
            else g_tables.withdraw(key, w);
        }
        switch (result) {
        case WAIT_OBJECT_0:
            out = granted;
            return;
        case WAIT_OBJECT_0 + 1:
            granted.release();  // granted after the abort: let it go again
            throw ketrel_io::exception_aborted();
        case WAIT_FAILED:
            granted.release();
            throw exception_win32(error);
        default:
            kpl::crash();
        }
    }
};

service_factory_single<manager, path_lock_manager> g_manager;

}  // namespace

path_lock_manager& path_lock_manager::instance() { return g_manager.instance(); }

size_t path_lock_manager::waiting_count(const char* key) {
    kpl::critical_section_scope lock(g_tables.section);
    size_t count = 0;
    for (const auto& mode : g_tables.waiting) {
        auto list = mode.find(key);
        if (list != mode.end()) count += list->second.size();
    }
    return count;
}

void path_lock_manager::acquire_shared(service_ref& out, const char* key, const abort_signal& abort) {
    instance().acquire(out, key, mode_shared, abort);
}

void path_lock_manager::acquire_exclusive(service_ref& out, const char* key, const abort_signal& abort) {
    instance().acquire(out, key, mode_exclusive, abort);
}
