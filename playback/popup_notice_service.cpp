// The two popup notice services: a notice window (resource 256) per call, made on the main thread.
#include <windows.h>

#include "foundation/kpl/string.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/window_object.h"
#include "foundation/win32/window_text.h"
#include "playback/notice_window.h"
#include "playback/popup_notice.h"
#include "resources/resource_ids.h"
#include "shell/app_state.h"
#include "shell/main_thread_queue.h"

namespace {

// The read-only text no longer asks to have all its text selected when it gets the focus.
class text_without_select_all final : public window_subclass {
    bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) override {
        if (message != WM_GETDLGCODE) return false;
        result = CallWindowProcW(previous_procedure(), window, message, wparam, lparam) & ~LRESULT(DLGC_HASSETSEL);
        return true;
    }
};

class notice_dialog final : public notice_window {
public:
    notice_dialog(const kpl::utf8_string& text, const kpl::utf8_string& title) : m_title(title) {
        notice_line_breaks(text.c_str(), m_text);
    }

private:
    bool on_message(HWND dialog, UINT message, WPARAM, LPARAM, LRESULT& result) override {
        if (message != WM_INITDIALOG) return false;
        prepare_frame(dialog);
        m_text_hook.attach(GetDlgItem(dialog, IDC_POPUP_NOTICE_TEXT));
        dialog_item_set_text(dialog, IDC_POPUP_NOTICE_TEXT, m_text);
        window_set_text(dialog, m_title);
        ShowWindow(dialog, SW_SHOWNORMAL);
        result = TRUE;
        return true;
    }
    kpl::utf8_string_pow2 m_text;
    kpl::utf8_string_pow2 m_title;
    text_without_select_all m_text_hook;
};

// Main thread: the notice window, owned by `owner`, else by the hidden main-thread window, else by none.
void show_now(HWND owner, const kpl::utf8_string& text, const kpl::utf8_string& title) {
    if (owner && !IsWindow(owner)) owner = nullptr;  // gone while the notice was queued
    if (!owner) owner = app_state.hidden_window;
    notice_window::open(new notice_dialog(text, title), owner);
}

// The texts copied for the main thread.
class queued_notice final : public service_counted<main_thread_callback> {
public:
    queued_notice(HWND owner, const char* text, size_t text_length, const char* title, size_t title_length)
        : m_owner(owner) {
        m_text.assign(text, bounded(text_length));
        m_title.assign(title, bounded(title_length));
    }
    void run() override { show_now(m_owner, m_text, m_title); }

private:
    // size_t(-1): up to the terminating zero; a given length stops earlier at a zero byte (assign does).
    static uint32_t bounded(size_t length) {
        return length >= kpl::utf8_string::npos ? kpl::utf8_string::npos : static_cast<uint32_t>(length);
    }

    HWND m_owner;
    kpl::utf8_string_pow2 m_text;
    kpl::utf8_string_pow2 m_title;
};

void show_popup(HWND owner, const char* text, size_t text_length, const char* title, size_t title_length) {
    service_ptr<queued_notice> notice;
    {
        queued_notice* made = new queued_notice(owner, text, text_length, title, title_length);
        notice.assign(made);
        made->release();
    }
    if (main_thread::is_current())
        notice->run();
    else
        main_thread_queue::post(notice.get());
}

class popup_notice final : public service_static<popup_notice_service> {
public:
    void show(const char* text, size_t text_length, const char* title, size_t title_length, int) override {
        show_popup(nullptr, text, text_length, title, title_length);
    }
};

class popup_notice_owned final : public service_static<popup_notice_owned_service> {
public:
    void show_popup_owned(HWND owner, const char* text, size_t text_length, const char* title,
                          size_t title_length) override {
        show_popup(owner, text, text_length, title, title_length);
    }
};

service_factory_single<popup_notice, popup_notice_service> g_popup_notice;
service_factory_single<popup_notice_owned, popup_notice_owned_service> g_popup_notice_owned;

}  // namespace
