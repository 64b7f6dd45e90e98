#include "shell/message_loop_hooks.h"

#include <new>

#include "foundation/kpl/array.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/services/advanced_setting_entries.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "playback/playback_controller.h"

namespace {

#ifndef WM_MOUSEHWHEEL
constexpr UINT WM_MOUSEHWHEEL = 0x020E;
#endif

// The advanced setting "Mouse wheel: scroll the object below the pointer rather than the object having
// keyboard focus" (default on).
bool mouse_wheel_under_pointer() noexcept { return advanced_settings::wheel_scrolls_object_below_pointer->get_state(); }

// A list of plain values whose first N entries live inside the object; further entries go to a heap array
// that follows them in index order.
template <class T, uint32_t N>
class small_list {
public:
    uint32_t count() const noexcept { return m_count; }
    T& operator[](uint32_t i) noexcept { return i < N ? m_inline[i] : m_rest[i - N]; }

    void append(T value) {
        if (m_count >= N) m_rest.append(value);
        else m_inline[m_count] = value;
        ++m_count;
    }
    void insert_front(T value) {
        append(value);
        for (uint32_t i = m_count - 1; i > 0; --i) (*this)[i] = (*this)[i - 1];
        (*this)[0] = value;
    }
    void remove_all(T value) {
        uint32_t kept = 0;
        for (uint32_t i = 0; i < m_count; ++i) {
            if ((*this)[i] != value) (*this)[kept++] = (*this)[i];
        }
        truncate(kept);
    }
    void clear() noexcept {
        m_count = 0;
        m_rest.clear();
    }

private:
    void truncate(uint32_t n) {
        m_count = n;
        m_rest.resize_pow2_shrink(n > N ? n - N : 0);
    }

    T m_inline[N] = {};
    kpl::array<T> m_rest;
    uint32_t m_count = 0;
};

// A message-filter entry. The list holds one reference on every linked entry, a walk holds one on the
// entry it stands on, and an unlinked entry holds one on the entry that followed it, so a walk can go on
// from an entry that was removed under it.
struct filter_entry {
    filter_entry* previous;
    filter_entry* next;
    message_filter* filter;
    UINT lowest;
    UINT highest;
    uint32_t references;
    bool linked;
};

void release_entry(filter_entry* entry) noexcept {
    while (entry && --entry->references == 0) {
        filter_entry* next = entry->next;
        delete entry;
        entry = next;
    }
}

class loop_hooks final : public service_static<message_loop_hooks_ext> {
public:
    ~loop_hooks() {
        while (m_filters) unlink(m_filters);
    }

    void add_message_filter(message_filter* filter) override { add_message_filter_range(filter, 0, 0xFFFFFFFF); }

    void add_message_filter_range(message_filter* filter, UINT lowest, UINT highest) override {
        filter_entry* entry = new (std::nothrow) filter_entry{nullptr, m_filters, filter, lowest, highest, 1, true};
        if (!entry) kpl::throw_bad_alloc();
        if (m_filters) m_filters->previous = entry;
        m_filters = entry;
    }

    void remove_message_filter(message_filter* filter) override {
        filter_entry* entry = m_filters;
        while (entry) {
            filter_entry* next = entry->next;
            if (entry->filter == filter) unlink(entry);
            entry = next;
        }
    }

    void add_idle_handler(idle_handler* handler) override { m_idle.insert_front(handler); }

    void remove_idle_handler(idle_handler* handler) override {
        m_idle.remove_all(handler);
        for (uint32_t i = 0; i < m_pass.count(); ++i) {
            if (m_pass[i] == handler) {
                m_pass[i] = nullptr;
                break;
            }
        }
    }

    bool filter(MSG* msg) {
        filter_entry* entry = m_filters;
        if (entry) ++entry->references;
        while (entry) {
            if (entry->linked && msg->message >= entry->lowest && msg->message <= entry->highest &&
                entry->filter->pretranslate(msg)) {
                release_entry(entry);
                return true;
            }
            filter_entry* next = entry->next;
            if (next) ++next->references;
            release_entry(entry);
            entry = next;
        }
        return false;
    }

    void idle_pass() {
        m_pass.clear();
        for (uint32_t i = 0; i < m_idle.count(); ++i) m_pass.append(m_idle[i]);
        for (uint32_t i = 0; i < m_pass.count(); ++i) {
            if (idle_handler* handler = m_pass[i]) handler->on_idle();
        }
    }

private:
    void unlink(filter_entry* entry) noexcept {
        if (entry->previous) {
            entry->previous->next = entry->next;
        } else {
            m_filters = entry->next;
        }
        if (entry->next) {
            entry->next->previous = entry->previous;
            ++entry->next->references;  // kept by the unlinked entry for walks standing on it
        }
        entry->linked = false;
        entry->previous = nullptr;
        release_entry(entry);
    }

    filter_entry* m_filters = nullptr;
    small_list<idle_handler*, 4> m_idle;
    small_list<idle_handler*, 4> m_pass;
};

class dialog_registry final : public service_static<modeless_dialog_registry> {
public:
    void add(HWND dialog) override {
        main_thread::assert_current();
        m_dialogs.append(dialog);
    }
    void remove(HWND dialog) override {
        main_thread::assert_current();
        m_dialogs.remove_all(dialog);
    }

    bool route(MSG* msg) {
        for (uint32_t i = 0; i < m_dialogs.count(); ++i) {
            if (IsDialogMessageW(m_dialogs[i], msg)) return true;
        }
        return false;
    }

private:
    small_list<HWND, 16> m_dialogs;
};

service_factory_single<loop_hooks, message_loop_hooks> g_hooks;
service_factory_single<dialog_registry, modeless_dialog_registry> g_dialogs;

void retarget_wheel(MSG* msg) noexcept {
    if (msg->message != WM_MOUSEWHEEL && msg->message != WM_MOUSEHWHEEL) return;
    if (!mouse_wheel_under_pointer()) return;
    DWORD position = GetMessagePos();
    POINT point = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    HWND under = WindowFromPoint(point);
    if (!under) return;
    DWORD process = 0;
    DWORD thread = GetWindowThreadProcessId(under, &process);
    if (process == GetCurrentProcessId() && thread == GetCurrentThreadId()) msg->hwnd = under;
}

}  // namespace

bool pretranslate_message(MSG* msg) {
    retarget_wheel(msg);
    if (g_hooks.instance().filter(msg)) return true;
    return g_dialogs.instance().route(msg);
}

bool run_idle_pass() {
    g_hooks.instance().idle_pass();
    return false;
}

void assert_not_in_playback_callback() noexcept {
    main_thread::assert_current();
    if (playback_listener_dispatch_active) kpl::crash();
}
