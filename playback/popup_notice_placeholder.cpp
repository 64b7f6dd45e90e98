// Placeholder of the popup notice service until playback's own exists: the notice is a plain modeless dialog
// (resource 256) holding the text, captioned with the title, closed by its OK button.
#include <windows.h>

#include "foundation/kpl/string.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/dialog.h"
#include "foundation/win32/window_text.h"
#include "playback/popup_notice.h"
#include "resources/resource_ids.h"
#include "shell/main_thread_queue.h"

namespace {

class notice_dialog final : public dialog_object {
public:
    notice_dialog(const kpl::utf8_string& text, const kpl::utf8_string& title) : m_text(text), m_title(title) {}

    bool process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) override {
        switch (message) {
            case WM_INITDIALOG: {
                kpl::utf8_string_pow2 text;
                // The edit control wants CR LF line ends.
                for (const char* p = m_text.c_str(); *p; ++p) {
                    if (*p == '\n' && (p == m_text.c_str() || p[-1] != '\r')) text << "\r";
                    text.append_char(*p);
                }
                dialog_item_set_text(dialog, IDC_POPUP_NOTICE_TEXT, text);
                window_set_text(dialog, m_title);
                ShowWindow(dialog, SW_SHOWNA);
                result = TRUE;
                return true;
            }
            case WM_COMMAND:
                if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
                    DestroyWindow(dialog);
                    return true;
                }
                return false;
            default:
                return false;
        }
    }

private:
    void on_final_message(HWND) override { delete this; }

    kpl::utf8_string_pow2 m_text;
    kpl::utf8_string_pow2 m_title;
};

void show_now(const kpl::utf8_string& text, const kpl::utf8_string& title) {
    notice_dialog* dialog = new notice_dialog(text, title);
    try {
        dialog->create_modeless(nullptr, IDD_POPUP_NOTICE);
    } catch (...) {
        delete dialog;
        throw;
    }
}

class queued_notice final : public service_counted<main_thread_callback> {
public:
    queued_notice(const char* text, size_t text_length, const char* title, size_t title_length) {
        m_text.assign(text ? text : "", text ? static_cast<uint32_t>(text_length) : 0);
        m_title.assign(title ? title : "", title ? static_cast<uint32_t>(title_length) : 0);
    }
    void run() override { show_now(m_text, m_title); }

private:
    kpl::utf8_string_pow2 m_text;
    kpl::utf8_string_pow2 m_title;
};

size_t length_of(const char* text, size_t length) {
    if (text == nullptr) return 0;
    if (length != size_t(-1)) return length;
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

class popup_notice_placeholder final : public service_static<popup_notice_service> {
public:
    void show(const char* text, size_t text_length, const char* title, size_t title_length, int) override {
        text_length = length_of(text, text_length);
        title_length = length_of(title, title_length);
        queued_notice* notice = new queued_notice(text, text_length, title, title_length);
        if (main_thread::is_current()) {
            try {
                notice->run();
            } catch (...) {
                notice->release();
                throw;
            }
            notice->release();
            return;
        }
        try {
            main_thread_queue::post(notice);
        } catch (...) {
            notice->release();
            throw;
        }
        notice->release();
    }
};

service_factory_single<popup_notice_placeholder, popup_notice_service> g_popup_notice;

}  // namespace
