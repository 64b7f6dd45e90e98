#include "foundation/win32/window_text.h"

#include "foundation/kpl/array.h"
#include "foundation/kpl/codepage.h"
#include "foundation/win32/modal_scope.h"

namespace {

class system_message_box_host final : public message_box_host {
public:
    int show(HWND parent, const win_string_param& text, const win_string_param& caption, UINT type) override {
        return MessageBoxW(parent, text.get(), caption.get(), type);
    }
};

system_message_box_host g_system_host;
message_box_host* g_host = &g_system_host;

}  // namespace

bool window_get_text(HWND window, kpl::utf8_string& out) {
    const int length = GetWindowTextLengthW(window);
    if (length < 1) {
        out.reset();
        return true;
    }
    kpl::array<wchar_t> buffer;
    buffer.resize_exact(uint32_t(length) + 1);
    const int read = GetWindowTextW(window, buffer.data(), length + 1);
    if (read <= 0) return false;
    out = utf16_to_utf8_string(buffer.data(), size_t(read));
    return true;
}

bool dialog_item_get_text(HWND dialog, int id, kpl::utf8_string& out) {
    return window_get_text(GetDlgItem(dialog, id), out);
}

bool window_set_text(HWND window, const win_string_param& text) { return SetWindowTextW(window, text.get()) != FALSE; }

bool window_set_text_wide(HWND window, const char* text, size_t length) {
    const kpl::utf8_string_pow2 part(text, uint32_t(length));
    return window_set_text(window, part);
}

bool dialog_item_set_text(HWND dialog, int id, const win_string_param& text) {
    return SetDlgItemTextW(dialog, id, text.get()) != FALSE;
}

LRESULT send_message_text(HWND window, UINT message, WPARAM wparam, const win_string_param& text) {
    return SendMessageW(window, message, wparam, reinterpret_cast<LPARAM>(text.get()));
}

void debug_output(const char* text) noexcept {
    try {
        kpl::array<char> ansi;
        kpl::utf8_to_codepage(ansi, text, kpl::text_npos, CP_ACP);
        OutputDebugStringA(ansi.count() ? ansi.data() : "");
    } catch (...) {
        OutputDebugStringA(text);  // no memory for the conversion: the bytes as they are
    }
}

int message_box(HWND parent, const win_string_param& text, const win_string_param& caption, UINT type) {
    modal_scope scope(parent);
    return g_host->show(parent, text, caption, type);
}

message_box_host_override::message_box_host_override(message_box_host& host) : m_previous(g_host) { g_host = &host; }

message_box_host_override::~message_box_host_override() { g_host = m_previous; }
