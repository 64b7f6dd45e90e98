#include "foundation/win32/clipboard.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "foundation/kpl/exceptions.h"
#include "foundation/win32/win_string.h"

namespace {

class clipboard_session {
public:
    clipboard_session() : m_open(OpenClipboard(nullptr) != FALSE) {}
    ~clipboard_session() {
        if (m_open) CloseClipboard();
    }
    bool is_open() const { return m_open; }

private:
    bool m_open;
};

}  // namespace

bool clipboard_set_text(const char* text) {
    const win_string_param wide(text ? text : "");
    const wchar_t* units = wide.get();
    const size_t bytes = (std::wcslen(units) + 1) * sizeof(wchar_t);

    clipboard_session session;
    if (!session.is_open()) return false;
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, bytes);
    if (block == nullptr) kpl::throw_bad_alloc();
    void* data = GlobalLock(block);
    if (data == nullptr) {
        GlobalFree(block);
        kpl::throw_bad_alloc();
    }
    std::memcpy(data, units, bytes);
    GlobalUnlock(block);
    if (SetClipboardData(CF_UNICODETEXT, block) == nullptr) {
        GlobalFree(block);  // the system took no ownership
        return false;
    }
    return true;
}

bool clipboard_get_text(kpl::utf8_string& out) {
    clipboard_session session;
    if (!session.is_open()) return false;
    HANDLE block = GetClipboardData(CF_UNICODETEXT);
    if (block == nullptr) return false;
    const wchar_t* data = static_cast<const wchar_t*>(GlobalLock(block));
    if (data == nullptr) return false;
    struct unlock_block {
        HANDLE block;
        ~unlock_block() { GlobalUnlock(block); }
    } unlock{block};
    const size_t units = GlobalSize(block) / sizeof(wchar_t);
    size_t length = 0;
    while (length < units && data[length] != 0) ++length;
    out = utf16_to_utf8_string(data, length);
    return true;
}
