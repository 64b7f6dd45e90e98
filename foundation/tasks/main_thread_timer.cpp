#include "foundation/tasks/main_thread_timer.h"

#include <windows.h>

#include <vector>

#include "foundation/kpl/exceptions.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "shell/crash_handler.h"

namespace {

constexpr uint64_t k_minimum_period = 10000000;  // one second
constexpr UINT k_tick_ms = 500;

uint64_t system_time_now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

class timer_service final : public service_static<main_thread_timer_service> {
public:
    void add_timer(main_thread_timer_callback* callback, uint64_t period) override {
        main_thread::assert_current();
        m_table.add(callback, period, system_time_now());
        if (m_timer == 0 && m_table.count() > 0) m_timer = SetTimer(nullptr, 0, k_tick_ms, &tick);
    }

    int32_t remove_timer(main_thread_timer_callback* callback) override {
        main_thread::assert_current();
        m_table.remove(callback);
        if (m_table.count() > 0) return static_cast<int32_t>(m_table.count());
        if (m_timer == 0) return 0;
        const BOOL killed = KillTimer(nullptr, m_timer);
        m_timer = 0;
        return killed;
    }

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD);

    main_thread_timer_table m_table;
    UINT_PTR m_timer = 0;
};

service_factory_single<timer_service, main_thread_timer_service> g_timers;

}  // namespace

void CALLBACK timer_service::tick(HWND, UINT, UINT_PTR, DWORD) {
    try {
        g_timers.instance().m_table.dispatch(system_time_now());
    } catch (...) {
        crash_from_callback();
    }
}

void main_thread_timer_table::add(main_thread_timer_callback* callback, uint64_t period, uint64_t now) {
    if (period < k_minimum_period) throw kpl::exception_invalid_params();
    entry& e = m_entries[callback];
    e.period = period;
    e.last = boundary(now, period);
    callback->on_timer(e.last);
}

bool main_thread_timer_table::remove(main_thread_timer_callback* callback) { return m_entries.erase(callback) > 0; }

void main_thread_timer_table::dispatch(uint64_t now) {
    // A snapshot of the callbacks, so that callbacks may change the table while the walk goes on.
    std::vector<main_thread_timer_callback*> callbacks;
    callbacks.reserve(m_entries.size());
    for (const auto& item : m_entries) callbacks.push_back(item.first);
    for (main_thread_timer_callback* callback : callbacks) {
        auto found = m_entries.find(callback);
        if (found == m_entries.end()) continue;
        entry& e = found->second;
        const uint64_t due = boundary(now, e.period);
        if (due < e.last + e.period) continue;
        e.last = due;
        callback->on_timer(due);
    }
}
