#include "foundation/tasks/threaded_process.h"

#include <commctrl.h>
#include <process.h>

#include "foundation/fs/file_system.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/critical_section.h"
#include "foundation/win32/ampersands.h"
#include "foundation/win32/dialog.h"
#include "foundation/win32/window_text.h"
#include "playback/popup_notice.h"
#include "resources/resource_ids.h"
#include "shell/message_loop_hooks.h"

#ifndef PBS_MARQUEE
#define PBS_MARQUEE 0x08
#endif
#ifndef PBM_SETMARQUEE
#define PBM_SETMARQUEE (WM_USER + 10)
#endif

namespace {

constexpr UINT k_refresh_message = WM_APP;      // 0x8000
constexpr UINT k_done_message = WM_APP + 1;     // 0x8001
constexpr UINT_PTR k_refresh_timer = 4321;
constexpr UINT k_refresh_period_ms = 250;
constexpr DWORD k_show_delay_ms = 500;

void assign_counted(kpl::utf8_string& out, const char* text, size_t length) {
    if (text == nullptr) {
        out.reset();
        return;
    }
    out.assign(text, length == size_t(-1) ? kpl::utf8_string::npos : static_cast<uint32_t>(length));
}

class progress_dialog final : public dialog_object, public threaded_process::progress_sink {
public:
    progress_dialog(threaded_process::task* work, uint32_t options, const char* title, size_t title_length,
                    bool modal)
        : m_task(work), m_options(threaded_process::effective_options(options)), m_modal(modal) {
        assign_counted(m_pending_title, title, title_length);
    }

    ~progress_dialog() override { join_worker(); }

    int resource() const { return threaded_process::dialog_resource(m_options); }
    void set_self_owned() { m_self_owned = true; }

    // --- progress_sink, on the worker thread -----------------------------------------------------------------
    void set_progress(uint32_t value) override { m_bar = threaded_process::bar_percent(value); }
    void set_progress_secondary(uint32_t value) override { m_bar_second = threaded_process::bar_percent(value); }

    void set_item(const char* text, size_t length) override { set_pending_item(text, length, false); }
    void set_item_path(const char* location, size_t length) override { set_pending_item(location, length, true); }

    void set_title(const char* text, size_t length) override {
        if (m_abort.is_set()) return;
        {
            kpl::critical_section_scope lock(m_lock);
            assign_counted(m_pending_title, text, length);
        }
        PostMessageW(m_window_for_worker, k_refresh_message, 0, 0);
    }

    void force_update() override {
        if (m_abort.is_set()) return;
        PostMessageW(m_window_for_worker, k_refresh_message, 0, 0);
    }

    bool is_paused() override { return m_paused != 0; }

    bool wait_while_paused() override {
        while (m_paused) {
            if (!m_abort.wait_event(0.01)) return false;
        }
        return !m_abort.is_set();
    }

    // --- dialog ---------------------------------------------------------------------------------------------
    bool process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) override {
        switch (message) {
            case WM_INITDIALOG:
                result = open(dialog);
                return true;
            case WM_TIMER:
                if (wparam != k_refresh_timer) return false;
                refresh(dialog);
                return true;
            case k_refresh_message:
                refresh(dialog);
                return true;
            case k_done_message:
                done(dialog);
                return true;
            case WM_COMMAND:
                command(dialog, LOWORD(wparam));
                return true;
            case WM_DESTROY:
                KillTimer(dialog, k_refresh_timer);
                m_window_destroyed = true;
                join_worker();
                return false;
            default:
                return false;
        }
    }

    bool completed() const { return m_completed; }

private:
    void on_final_message(HWND) override {
        if (m_self_owned) delete this;
    }

    void set_pending_item(const char* text, size_t length, bool is_path) {
        if (m_abort.is_set()) return;
        kpl::critical_section_scope lock(m_lock);
        assign_counted(m_pending_item, text, length);
        m_pending_is_path = is_path;
    }

    LRESULT open(HWND dialog) {
        m_window_for_worker = dialog;
        HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
        if (m_options & threaded_process::option_progress_bar) {
            SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
            SendMessageW(bar, PBM_SETPOS, 0, 0);
            m_bar = m_bar_second = 0;
            m_bar_sent = m_bar_second_sent = 0;
        } else {
            SetWindowLongW(bar, GWL_STYLE, GetWindowLongW(bar, GWL_STYLE) | PBS_MARQUEE);
            SendMessageW(bar, PBM_SETMARQUEE, TRUE, 0);
        }
        if (HWND second = GetDlgItem(dialog, IDC_PROGRESS_BAR_SECOND)) {
            if (m_options & threaded_process::option_second_progress_bar) {
                SendMessageW(second, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
            } else {
                EnableWindow(second, FALSE);
            }
        }
        if (!(m_options & threaded_process::option_pause_button)) ShowWindow(GetDlgItem(dialog, IDC_PROGRESS_PAUSE), SW_HIDE);
        if (!(m_options & threaded_process::option_item_text)) {
            EnableWindow(GetDlgItem(dialog, IDC_PROGRESS_ITEM), FALSE);
            EnableWindow(GetDlgItem(dialog, IDC_PROGRESS_ITEM_LABEL), FALSE);
        }
        if (!(m_options & threaded_process::option_minimize_button))
            ShowWindow(GetDlgItem(dialog, IDC_PROGRESS_MINIMIZE), SW_HIDE);
        if (!(m_options & threaded_process::option_abort_button)) {
            EnableWindow(GetDlgItem(dialog, IDC_PROGRESS_ABORT), FALSE);
            SetWindowLongW(dialog, GWL_STYLE, GetWindowLongW(dialog, GWL_STYLE) & ~WS_SYSMENU);
        }
        {
            kpl::critical_section_scope lock(m_lock);
            m_shown_title = m_pending_title;
        }
        window_set_text(dialog, m_shown_title);
        SetTimer(dialog, k_refresh_timer, k_refresh_period_ms, nullptr);

        m_abort.reset();
        const uintptr_t thread = _beginthreadex(nullptr, 0, &worker_entry, this, CREATE_SUSPENDED, nullptr);
        if (thread == 0) throw exception_win32(GetLastError());
        m_thread = reinterpret_cast<HANDLE>(thread);
        if (m_options & threaded_process::option_time_critical_thread)
            SetThreadPriority(m_thread, THREAD_PRIORITY_TIME_CRITICAL);
        try {
            m_task->on_start(dialog);
        } catch (...) {
            // The worker never ran: let it end at once without calling the task.
            m_skip_run = true;
            ResumeThread(m_thread);
            throw;
        }
        ResumeThread(m_thread);

        const bool delayed = !m_modal && (m_options & threaded_process::option_delayed_window);
        if (delayed) {
            m_show_pending = true;
            m_show_start = GetTickCount();
        } else {
            ShowWindow(dialog, SW_SHOWNA);
        }
        return (m_options & threaded_process::option_no_activate) || m_show_pending ? FALSE : TRUE;
    }

    void refresh(HWND dialog) {
        if (m_show_pending && !m_done_handled && GetTickCount() - m_show_start > k_show_delay_ms) {
            m_show_pending = false;
            ShowWindow(dialog, (m_options & threaded_process::option_no_activate) ? SW_SHOWNA : SW_SHOW);
        }
        bool title_changed = false;
        bool item_changed = false;
        bool path_flag_changed = false;
        {
            kpl::critical_section_scope lock(m_lock);
            if ((m_options & threaded_process::option_item_text) &&
                (!m_pending_item.equals(m_shown_item) || m_pending_is_path != m_shown_is_path)) {
                path_flag_changed = m_pending_is_path != m_shown_is_path;
                m_shown_item = m_pending_item;
                m_shown_is_path = m_pending_is_path;
                item_changed = true;
            }
            if (!m_pending_title.equals(m_shown_title)) {
                m_shown_title = m_pending_title;
                title_changed = true;
            }
        }
        if (item_changed) {
            HWND line = GetDlgItem(dialog, IDC_PROGRESS_ITEM);
            if (path_flag_changed) {
                SetWindowTextW(line, L"");
                LONG style = GetWindowLongW(line, GWL_STYLE);
                style = m_shown_is_path ? (style | SS_PATHELLIPSIS) : (style & ~SS_PATHELLIPSIS);
                SetWindowLongW(line, GWL_STYLE, style);
            }
            kpl::utf8_string_pow2 shown;
            if (m_shown_is_path) {
                file_system_display_path(m_shown_item.c_str(), shown);
            } else {
                shown = m_shown_item;
            }
            kpl::utf8_string_pow2 escaped;
            escape_ampersands(shown.c_str(), escaped);
            window_set_text(line, escaped);
        }
        if (title_changed) window_set_text(dialog, m_shown_title);
        if (m_options & threaded_process::option_progress_bar) {
            const int value = m_bar;
            if (value != m_bar_sent) {
                m_bar_sent = value;
                SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, value, 0);
            }
        }
        if (m_options & threaded_process::option_second_progress_bar) {
            const int value = m_bar_second;
            if (value != m_bar_second_sent) {
                m_bar_second_sent = value;
                SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR_SECOND, PBM_SETPOS, value, 0);
            }
        }
    }

    void command(HWND dialog, int id) {
        switch (id) {
            case IDC_PROGRESS_PAUSE:
                if (m_options & threaded_process::option_pause_button)
                    m_paused = SendDlgItemMessageW(dialog, IDC_PROGRESS_PAUSE, BM_GETCHECK, 0, 0) == BST_CHECKED;
                break;
            case IDC_PROGRESS_ABORT:
                if (m_options & threaded_process::option_abort_button) {
                    m_user_aborted = true;
                    m_abort.set();
                }
                break;
            case IDC_PROGRESS_MINIMIZE:
                if (m_options & threaded_process::option_minimize_button) {
                    if (HWND parent = GetParent(dialog)) ShowWindow(parent, SW_SHOWMINIMIZED);
                }
                break;
            default:
                break;
        }
    }

    void done(HWND dialog) {
        if (!m_worker_done || m_done_handled || m_skip_run) return;
        m_done_handled = true;
        m_completed = !m_user_aborted && !m_run_failed && !m_run_aborted;
        join_worker();
        service_ptr<threaded_process::task> task = m_task;
        task->on_done(dialog, !m_completed);
        if (m_modal) {
            EndDialog(dialog, m_completed ? 1 : 2);
        } else if (!m_window_destroyed) {
            DestroyWindow(dialog);
        }
    }

    void join_worker() {
        if (m_thread == nullptr) return;
        m_abort.set();
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        m_thread = nullptr;
    }

    void report_failure(const char* message) {
        kpl::utf8_string_pow2 caption;
        {
            kpl::critical_section_scope lock(m_lock);
            threaded_process::failure_caption(m_pending_title.c_str(), caption);
        }
        try {
            popup_notice_show(message, caption.c_str());
        } catch (...) {
            // No popup service (start-up or shut-down): the failure still reaches on_done.
        }
    }

    static unsigned __stdcall worker_entry(void* context) {
        progress_dialog* self = static_cast<progress_dialog*>(context);
        if (!self->m_skip_run) {
            try {
                self->m_task->run(*self, self->m_abort);
            } catch (const ketrel_io::exception_aborted&) {
                self->m_run_aborted = true;
            } catch (const std::exception& e) {
                self->m_run_failed = true;
                self->report_failure(e.what());
            } catch (...) {
                self->m_run_failed = true;
                self->report_failure("Unknown exception");
            }
        }
        self->m_worker_done = true;
        PostMessageW(self->m_window_for_worker, k_done_message, 0, 0);
        return 0;
    }

    service_ptr<threaded_process::task> m_task;
    const uint32_t m_options;
    const bool m_modal;
    kpl::waitable_flag m_abort;
    kpl::critical_section m_lock;
    kpl::utf8_string_pow2 m_pending_item, m_shown_item;
    bool m_pending_is_path = false, m_shown_is_path = false;
    kpl::utf8_string_pow2 m_pending_title, m_shown_title;
    volatile int m_bar = 0, m_bar_second = 0;
    int m_bar_sent = -1, m_bar_second_sent = -1;
    HANDLE m_thread = nullptr;
    HWND m_window_for_worker = nullptr;
    volatile bool m_paused = false;
    volatile bool m_worker_done = false;
    volatile bool m_run_failed = false;
    volatile bool m_run_aborted = false;
    bool m_skip_run = false;
    bool m_user_aborted = false;
    bool m_completed = false;
    bool m_show_pending = false;
    DWORD m_show_start = 0;
    bool m_done_handled = false;
    bool m_window_destroyed = false;
    bool m_self_owned = false;
};

class threaded_process_service final : public service_static<threaded_process> {
public:
    bool run_modal(task* work, uint32_t options, HWND parent, const char* title, size_t title_length) override {
        debug_output(
            "threaded_process::run_modal() called - this is bad for multiple reasons, consider using non-blocking "
            "version of whatever API you've called instead.\n");
        kpl::dynamic_assert(work != nullptr);
        assert_not_in_playback_callback();
        progress_dialog dialog(work, options, title, title_length, true);
        const INT_PTR code = dialog.run_modal(parent, dialog.resource());
        return code == 1;
    }

    bool run_nonblocking(task* work, uint32_t options, HWND parent, const char* title, size_t title_length) override {
        kpl::dynamic_assert(work != nullptr);
        main_thread::assert_current();
        progress_dialog* dialog = new progress_dialog(work, options, title, title_length, false);
        try {
            dialog->create_modeless(parent, dialog->resource());
        } catch (...) {
            delete dialog;
            throw;
        }
        dialog->set_self_owned();
        return true;
    }
};

service_factory_single<threaded_process_service, threaded_process> g_threaded_process;

}  // namespace

uint32_t threaded_process::effective_options(uint32_t options) {
    if (options & option_second_progress_bar) options |= option_progress_bar;
    if (options & option_delayed_window) options |= option_no_activate;
    return options;
}

int threaded_process::dialog_resource(uint32_t options) {
    options = effective_options(options);
    if (options & option_second_progress_bar) return IDD_PROGRESS_TWO_BARS;
    if (options & option_item_text) return IDD_PROGRESS_ITEM;
    return IDD_PROGRESS;
}

int threaded_process::bar_percent(uint32_t value) {
    if (value > 5000) value = 5000;
    return static_cast<int>(value * 100 / 5000);
}

void threaded_process::failure_caption(const char* title, kpl::utf8_string& out) {
    out = "Unhandled exception in \"";
    out << (title ? title : "") << "\"";
}
