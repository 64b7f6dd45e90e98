#include "playback/playback_error_window.h"

#include <exception>

#include "foundation/kpl/number_format.h"
#include "foundation/services/advanced_setting_entries.h"
#include "foundation/services/main_thread.h"
#include "foundation/win32/window_text.h"
#include "metadata/track_handle.h"
#include "playback/notice_window.h"
#include "resources/resource_ids.h"
#include "shell/app_state.h"

namespace {

constexpr uint32_t k_max_messages = 33;
constexpr uint32_t k_quiet_ms = 10000;

uint32_t system_tick() { return GetTickCount(); }

struct error_window_state {
    HWND window = nullptr;
    uint32_t count = 0;  // messages in the window; k_max_messages + 1 once "(...)" was added
    kpl::utf8_string_pow2 text;
    bool closed = false;  // the user closed the window; quiet for k_quiet_ms after close_tick
    uint32_t close_tick = 0;
    uint32_t (*tick)() = &system_tick;
    playback_error_observer observer = nullptr;
    void* observer_context = nullptr;
};

error_window_state g_state;

bool showing_allowed() {
    if (!advanced_settings::show_error_popups->get_state()) return false;
    if (!g_state.closed) return true;
    return g_state.tick() - g_state.close_tick > k_quiet_ms;
}

class error_window final : public notice_window {
    bool on_message(HWND dialog, UINT message, WPARAM, LPARAM, LRESULT& result) override {
        switch (message) {
            case WM_INITDIALOG:
                g_state.window = dialog;
                prepare_frame(dialog);
                window_set_text(dialog, "Playback error");
                g_state.count = 0;
                g_state.text.reset();
                ShowWindow(dialog, SW_SHOWNOACTIVATE);
                result = FALSE;  // the focus stays where it was
                return true;
            case WM_DESTROY:
                if (g_state.window == dialog) {
                    g_state.window = nullptr;
                    g_state.count = 0;
                    g_state.text.reset();
                    g_state.closed = true;
                    g_state.close_tick = g_state.tick();
                }
                return false;
            default:
                return false;
        }
    }
};

void show_text() { dialog_item_set_text(g_state.window, IDC_POPUP_NOTICE_TEXT, g_state.text.c_str()); }

void append_location(kpl::utf8_string& out, const track_handle* track) {
    kpl::utf8_string_pow2 location;
    track_handle::location_text(track, location);
    out << ":\r\n" << location;
}

}  // namespace

void playback_error_message(kpl::utf8_string& out, int kind, const char* text, double seconds,
                            const track_handle* track) {
    if (!text) text = "";
    out.reset();
    switch (kind) {
        case playback_failure_open:
            out << "Unable to open item for playback (" << text << ")";
            break;
        case playback_failure_seek:
            out << "Unable to seek to " << kpl::format_time_span_fraction(seconds, 3) << " (" << text << ")";
            break;
        case playback_failure_decode:
            out << "Decoding failure at " << kpl::format_time_span_fraction(seconds, 3) << " (" << text << ")";
            break;
        case playback_failure_resume:
            out << "Unable to resume decoding at " << kpl::format_time_span_fraction(seconds, 3) << " (" << text
                << ")";
            break;
        case playback_failure_parse_info:
            out << "Unable to parse file information (" << text << ")";
            break;
        default:
            out << "Unknown error (" << text << ")";
            if (track) append_location(out, track);
            return;
    }
    append_location(out, track);
}

void playback_fatal_error_message(kpl::utf8_string& out, const char* text) {
    out = "Unrecoverable playback error: ";
    out << (text ? text : "");
}

void playback_error_window_add(const char* message) {
    main_thread::assert_current();
    if (!message) message = "";
    if (g_state.observer) g_state.observer(message, g_state.observer_context);
    if (!g_state.window) {
        if (!showing_allowed()) return;
        try {
            notice_window::open(new error_window, app_state.hidden_window);
        } catch (const std::exception& e) {
            // Playback goes on without the window; the message is not lost for the debugger output.
            kpl::utf8_string_pow2 line("Playback error window could not be shown (");
            line << e.what() << "): " << message << "\n";
            debug_output(line.c_str());
            return;
        }
        if (!g_state.window) return;  // destroyed while it was made
        g_state.text = message;
        g_state.count = 1;
        show_text();
        return;
    }
    if (g_state.count < k_max_messages) {
        g_state.text << "\r\n\r\n" << message;
        ++g_state.count;
    } else if (g_state.count == k_max_messages) {
        g_state.text << "\r\n\r\n(...)";
        ++g_state.count;
    } else {
        return;
    }
    show_text();
}

void playback_error_window_reset_wait() { g_state.closed = false; }

void playback_error_window_set_observer(playback_error_observer observer, void* context) {
    g_state.observer = observer;
    g_state.observer_context = context;
}

HWND playback_error_window_handle() { return g_state.window; }

uint32_t playback_error_window_count() { return g_state.count; }

void playback_error_window_set_clock(uint32_t (*tick)()) { g_state.tick = tick ? tick : &system_tick; }
