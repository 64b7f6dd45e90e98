#pragma once
// Texts of windows, dialogs and messages, and message boxes.
//
//   kpl::utf8_string_pow2 name;
//   dialog_item_get_text(dialog, IDC_NAME, name);
//   if (message_box(owner, "Replace the file?", "Vorn", MB_YESNO) == IDYES) ...
//
// message_box shows its box inside a modal_scope for its owner, so nothing else opens a modal window while
// it is up. The box itself is shown by the process-wide message_box_host, which tests replace to answer:
//
//   struct answer_no : message_box_host {
//       int show(HWND, const win_string_param& text, const win_string_param&, UINT) override {
//           seen.assign(text.utf8());
//           return IDNO;
//       }
//       kpl::utf8_string_pow2 seen;
//   } host;
//   message_box_host_override use(host);     // until `use` goes; the system's boxes again afterwards

#include <windows.h>

#include <cstddef>

#include "foundation/kpl/string.h"
#include "foundation/win32/win_string.h"

// GetWindowTextW into out. An empty text (or a window without one) gives "" and true; false when a text
// was announced but none could be read.
bool window_get_text(HWND window, kpl::utf8_string& out);
bool dialog_item_get_text(HWND dialog, int id, kpl::utf8_string& out);
bool window_set_text(HWND window, const win_string_param& text);
// SetWindowTextW of the first length bytes of a UTF-8 text.
bool window_set_text_wide(HWND window, const char* text, size_t length);
bool dialog_item_set_text(HWND dialog, int id, const win_string_param& text);
// SendMessageW with the UTF-16 text as lParam (0 for a null text).
LRESULT send_message_text(HWND window, UINT message, WPARAM wparam, const win_string_param& text);
// The UTF-8 text to the debugger output, converted to the system code page and written through
// OutputDebugStringA: Windows hands the wide form on in that code page anyway, and Wine shows only what comes
// through the ANSI form.
void debug_output(const char* text) noexcept;

// Shows a message box (MessageBoxW semantics: type flags in, the pressed button out).
class message_box_host {
public:
    virtual int show(HWND parent, const win_string_param& text, const win_string_param& caption, UINT type) = 0;

protected:
    ~message_box_host() = default;
};

// A message box for the owner inside a modal_scope; answers the button (IDOK, IDYES, ...; 0 on failure).
int message_box(HWND parent, const win_string_param& text, const win_string_param& caption, UINT type);

// Installs another host for message_box until it goes; the previous host comes back then. Main thread.
class message_box_host_override {
public:
    explicit message_box_host_override(message_box_host& host);
    ~message_box_host_override();
    message_box_host_override(const message_box_host_override&) = delete;
    message_box_host_override& operator=(const message_box_host_override&) = delete;

private:
    message_box_host* m_previous;
};
