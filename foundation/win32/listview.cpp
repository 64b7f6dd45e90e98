#include "foundation/win32/listview.h"

#include "foundation/kpl/array.h"
#include "foundation/win32/win_string.h"

int listview_insert_item(HWND list, int index, const char* text, LPARAM data) {
    const win_string_param wide(text);
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index < 0 ? static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : index;
    item.pszText = const_cast<LPWSTR>(wide.get());
    item.lParam = data;
    return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

int listview_insert_column(HWND list, int index, const char* title, int width) {
    RECT units = {0, 0, width, 0};
    MapDialogRect(GetParent(list), &units);
    const win_string_param wide(title);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    column.cx = units.right;
    column.pszText = const_cast<LPWSTR>(wide.get());
    return static_cast<int>(SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)));
}

void listview_get_item_text(HWND list, int item, int column, kpl::utf8_string& out) {
    kpl::array<wchar_t> buffer;
    buffer.resize_exact(65536);
    buffer[0] = 0;
    LVITEMW request = {};
    request.iSubItem = column;
    request.pszText = buffer.data();
    request.cchTextMax = 65536;
    SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&request));
    buffer[65535] = 0;
    out = utf16_to_utf8_string(buffer.data());
}

bool listview_set_item_text(HWND list, int item, int column, const char* text) {
    const win_string_param wide(text);
    LVITEMW change = {};
    change.mask = LVIF_TEXT;
    change.iItem = item;
    change.iSubItem = column;
    change.pszText = const_cast<LPWSTR>(wide.get());
    return SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&change)) != 0;
}

bool listview_is_item_selected(HWND list, int item) {
    LVITEMW request = {};
    request.mask = LVIF_STATE;
    request.iItem = item;
    request.stateMask = LVIS_SELECTED;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&request))) return false;
    return (request.state & LVIS_SELECTED) != 0;
}

void listview_set_item_state(HWND list, int item, UINT state, UINT mask) {
    LVITEMW change = {};
    change.state = state;
    change.stateMask = mask;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&change));
}

bool listview_select_single(HWND list, int item) {
    SendMessageW(list, LVM_SETSELECTIONMARK, 0, item);
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        if (i != item) listview_set_item_state(list, i, 0, LVIS_SELECTED | LVIS_FOCUSED);
    }
    listview_set_item_state(list, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    return SendMessageW(list, LVM_ENSUREVISIBLE, item, FALSE) != 0;
}

bool listview_column_order(HWND list, int* out, int count) {
    return SendMessageW(list, LVM_GETCOLUMNORDERARRAY, count, reinterpret_cast<LPARAM>(out)) != 0;
}

RECT listview_subitem_rect(HWND list, int item, int column) {
    RECT rect = {};
    rect.top = column;
    rect.left = LVIR_LABEL;
    if (!SendMessageW(list, LVM_GETSUBITEMRECT, item, reinterpret_cast<LPARAM>(&rect))) rect = RECT{0, 0, 0, 0};
    return rect;
}

int listview_column_count(HWND list) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

// --- window objects ----------------------------------------------------------------------------------------

namespace {

window_class& list_class() {
    static window_class copy(L"Vorn:ListView", WC_LISTVIEWW);
    return copy;
}

window_class& tooltip_class() {
    static window_class copy(L"Vorn:Tooltip", TOOLTIPS_CLASSW);
    return copy;
}

}  // namespace

listview_window::listview_window() : m_autoscroll(4, 16) {}

HWND listview_window::create(HWND parent, const RECT& rect, DWORD style, DWORD extended_style, UINT id) {
    return create_window(parent, &rect, nullptr, style | WS_CHILD, extended_style, id, list_class());
}

bool listview_window::process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                      DWORD) {
    return m_autoscroll.handle_message(window, message, wparam, lparam, result);
}

HWND tooltip_window::create(HWND owner, DWORD style) {
    return create_window(owner, nullptr, nullptr, WS_POPUP | style, WS_EX_TOPMOST, 0, tooltip_class());
}
