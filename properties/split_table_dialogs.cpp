// Split Values (694) and Editing Values (233).
#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include <string>

#include "foundation/kpl/guid.h"
#include "foundation/services/config_variable.h"
#include "foundation/win32/dialog_resize.h"
#include "foundation/win32/in_place_edit.h"
#include "foundation/win32/listview.h"
#include "foundation/win32/win_string.h"
#include "foundation/win32/window_text.h"
#include "properties/sub_dialog.h"
#include "resources/resource_ids.h"
#include "shell/localization.h"
#include "ui/window_placement.h"

namespace {

constexpr kpl::guid k_separators = {0x31CADE7B, 0x918E, 0x46E6, {0xBA, 0xE2, 0x7C, 0x70, 0x8A, 0xBB, 0x2F, 0x13}};
constexpr kpl::guid k_line_breaks = {0x153F164F, 0x1F4A, 0x49BC, {0x82, 0xCD, 0x56, 0x77, 0x4C, 0x99, 0xC5, 0x5B}};
constexpr kpl::guid k_table_placement = {0x08C50151, 0x294B, 0x4F33, {0x89, 0xC2, 0x9D, 0x55, 0x79, 0x4B, 0x2B, 0x65}};

config_text g_separators(k_separators, "&\r\nand\r\n,\r\n;");
config_bool g_line_breaks(k_line_breaks, true);
window_placement_var g_table_placement(k_table_placement);

class split_dialog final : public properties_sub_dialog {
public:
    split_dialog(std::shared_ptr<split_settings> settings, properties_done done)
        : properties_sub_dialog(std::move(done)), m_settings(std::move(settings)) {}

    bool process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) override {
        switch (message) {
            case WM_INITDIALOG:
                window_set_text(GetDlgItem(dialog, IDC_SPLIT_SEPARATORS), m_settings->separators.c_str());
                CheckDlgButton(dialog, IDC_SPLIT_LINE_BREAKS, m_settings->line_breaks ? BST_CHECKED : BST_UNCHECKED);
                ShowWindow(dialog, SW_SHOW);
                result = TRUE;
                return true;
            case WM_COMMAND:
                if (LOWORD(wparam) == IDOK) {
                    kpl::utf8_string_pow2 text;
                    dialog_item_get_text(dialog, IDC_SPLIT_SEPARATORS, text);
                    m_settings->separators = text.c_str();
                    m_settings->line_breaks = IsDlgButtonChecked(dialog, IDC_SPLIT_LINE_BREAKS) == BST_CHECKED;
                    end(1);
                } else if (LOWORD(wparam) == IDCANCEL) {
                    end(2);
                }
                result = 0;
                return true;
            case WM_CLOSE:
                end(2);
                result = 0;
                return true;
        }
        return false;
    }

private:
    std::shared_ptr<split_settings> m_settings;
};

class table_dialog;

class table_host final : public listview_edit_host {
public:
    table_host(HWND list, table_dialog& owner) : listview_edit_host(list), m_owner(owner) {}

protected:
    void get_cell_text(int item, int column, kpl::utf8_string& out, int& line_count) override;
    uint32_t get_cell_flags(int item, int column) override;
    void set_cell_text(int item, int column, const char* text) override;
    bool choose_next_cell(int& item, int& column, int code) override;

private:
    table_dialog& m_owner;
};

class table_dialog final : public properties_sub_dialog {
public:
    table_dialog(std::shared_ptr<properties_field_list> records, properties_done done, const properties_field_info& info,
                 std::vector<std::string> items)
        : properties_sub_dialog(std::move(done)), m_records(std::move(records)), m_info(info), m_items(std::move(items)) {}

    properties_field_list& records() { return *m_records; }
    const properties_field_info& info() const { return m_info; }
    const std::vector<std::string>& items() const { return m_items; }
    void changed(int row) {
        m_changed = true;
        SendMessageW(m_list, LVM_REDRAWITEMS, row, row);
    }

    bool process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) override {
        g_table_placement.on_window_message(dialog, message, m_placement);
        if (m_resizer.on_message(dialog, message, wparam, lparam, result)) return true;
        switch (message) {
            case WM_INITDIALOG:
                init(dialog);
                result = TRUE;
                return true;
            case WM_COMMAND:
                if (LOWORD(wparam) == IDOK) {
                    if (m_host->is_editing()) m_host->end_edit(true);
                    end(m_changed ? 1 : 2);
                } else if (LOWORD(wparam) == IDCANCEL) {
                    m_host->cancel_edit();
                    end(2);
                }
                result = 0;
                return true;
            case WM_CLOSE:
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                result = 0;
                return true;
            case WM_NOTIFY:
                return on_list_notify(reinterpret_cast<NMHDR*>(lparam), result);
            case WM_APP:
            case WM_APP + 1: {
                const int row = static_cast<int>(wparam);
                const int field = static_cast<int>(lparam);
                if (m_host->is_editing() || row < 0 || row >= static_cast<int>(m_items.size())) return true;
                if (message == WM_APP && (field < 0 || field >= static_cast<int>(m_records->size()))) return true;
                m_host->begin_edit(row, message == WM_APP ? field + 2 : 1);
                result = 0;
                return true;
            }
            case WM_DESTROY:
                if (m_host) m_host->cancel_edit();
                return false;
        }
        return false;
    }

private:
    void init(HWND dialog) {
        static const dialog_text texts[] = {{IDOK, "dialog_ok"}, {IDCANCEL, "dialog_cancel"}};
        dialog_set_texts(dialog, texts, 2);
        SetWindowLongW(dialog, GWL_EXSTYLE, GetWindowLongW(dialog, GWL_EXSTYLE) | WS_EX_DLGMODALFRAME);
        std::string names;
        for (const properties_field_model& record : *m_records) {
            if (!names.empty()) names += ", ";
            names += m_info.display_name(record.name().c_str());
        }
        text_params params;
        params.set("items", names.c_str());
        kpl::utf8_string_pow2 caption;
        if (localization_table::format("properties_tableedit_caption", params, caption)) window_set_text(dialog, caption.c_str());
        m_list = GetDlgItem(dialog, IDC_TABLE_EDIT_LIST);
        m_host.reset(new table_host(m_list, *this));
        SetWindowTheme(m_list, L"explorer", nullptr);
        const DWORD styles = LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP | LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
        SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
        listview_insert_column(m_list, 0, "#", 20);
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT;
        column.fmt = LVCFMT_RIGHT;
        SendMessageW(m_list, LVM_SETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        listview_insert_column(m_list, 1, localization_table::get_text("properties_tableedit_column_item"), 100);
        for (size_t k = 0; k < m_records->size(); ++k)
            listview_insert_column(m_list, static_cast<int>(k + 2), m_info.display_name((*m_records)[k].name().c_str()).c_str(), 100);
        SendMessageW(m_list, LVM_SETITEMCOUNT, m_items.size(), 0);
        static const uint32_t anchors[] = {
            IDC_TABLE_EDIT_LIST | (dialog_resize_helper::stretch_x | dialog_resize_helper::stretch_y) << 16,
            IDOK | (dialog_resize_helper::move_x | dialog_resize_helper::move_y) << 16,
            IDCANCEL | (dialog_resize_helper::move_x | dialog_resize_helper::move_y) << 16,
        };
        m_resizer.set_anchors(anchors, 3);
        m_resizer.set_min_size(150, 150);
        ShowWindow(dialog, SW_SHOW);
    }

    bool on_list_notify(NMHDR* header, LRESULT& result) {
        if (header->hwndFrom != m_list) return false;
        switch (header->code) {
            case LVN_GETDISPINFOW: {
                auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
                if (!(info->item.mask & LVIF_TEXT)) return false;
                const int row = info->item.iItem, column = info->item.iSubItem;
                std::string text;
                if (column == 0)
                    text = std::to_string(row + 1);
                else if (column == 1)
                    text = row < static_cast<int>(m_items.size()) ? m_items[row] : "";
                else if (column - 2 < static_cast<int>(m_records->size()))
                    text = (*m_records)[column - 2].joined_text(static_cast<uint32_t>(row));
                m_buffer = properties_wide(text.c_str());
                info->item.pszText = &m_buffer[0];
                result = 0;
                return true;
            }
            case LVN_ODFINDITEMW:
                result = -1;
                return true;
            case LVN_KEYDOWN: {
                auto* key = reinterpret_cast<NMLVKEYDOWN*>(header);
                if (key->wVKey == VK_F2) {
                    const int row = static_cast<int>(SendMessageW(m_list, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
                    if (row >= 0) PostMessageW(handle(), (GetKeyState(VK_SHIFT) & 0x8000) ? WM_APP + 1 : WM_APP, row, 0);
                }
                return false;
            }
            case NM_CLICK: {
                auto* item = reinterpret_cast<NMITEMACTIVATE*>(header);
                LVHITTESTINFO hit = {};
                hit.pt = item->ptAction;
                SendMessageW(m_list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
                if (hit.iItem < 0) return false;
                if (hit.iSubItem >= 2)
                    PostMessageW(handle(), WM_APP, hit.iItem, hit.iSubItem - 2);
                else if (hit.iSubItem == 1)
                    PostMessageW(handle(), WM_APP + 1, hit.iItem, 0);
                return false;
            }
        }
        return false;
    }

    std::shared_ptr<properties_field_list> m_records;
    properties_field_info m_info;
    std::vector<std::string> m_items;
    HWND m_list = nullptr;
    std::unique_ptr<table_host> m_host;
    bool m_changed = false;
    std::wstring m_buffer;
    window_placement_attachment m_placement;
    dialog_resize_helper m_resizer;
};

void table_host::get_cell_text(int item, int column, kpl::utf8_string& out, int& line_count) {
    std::string text;
    if (column == 1 && item < static_cast<int>(m_owner.items().size()))
        text = m_owner.items()[item];
    else if (column >= 2 && column - 2 < static_cast<int>(m_owner.records().size()))
        text = m_owner.records()[column - 2].joined_text(static_cast<uint32_t>(item));
    out = text.c_str();
    line_count = text.find_first_of("\r\n") != std::string::npos ? 5 : 1;
}

uint32_t table_host::get_cell_flags(int item, int column) {
    if (column == 1) {
        const bool lines = item < static_cast<int>(m_owner.items().size()) &&
                           m_owner.items()[item].find_first_of("\r\n") != std::string::npos;
        return in_place_edit::read_only | (lines ? uint32_t(in_place_edit::multi_line) : 0u);
    }
    if (column < 2 || column - 2 >= static_cast<int>(m_owner.records().size())) return in_place_edit::read_only;
    return m_owner.info().is_multi_line(m_owner.records()[column - 2].name().c_str()) ? uint32_t(in_place_edit::multi_line) : 0u;
}

void table_host::set_cell_text(int item, int column, const char* text) {
    if (column < 2 || column - 2 >= static_cast<int>(m_owner.records().size())) return;
    m_owner.records()[column - 2].set_from_text(static_cast<uint32_t>(item), text, m_owner.info());
    m_owner.changed(item);
}

bool table_host::choose_next_cell(int& item, int& column, int code) {
    const int columns = static_cast<int>(m_owner.records().size()) + 2;
    std::vector<int> order(columns);
    for (int i = 0; i < columns; ++i) order[i] = i;
    std::unique_ptr<bool[]> editable(new bool[columns]);
    for (int i = 0; i < columns; ++i) editable[i] = i >= 2;
    int next_item, next_column;
    if (!in_place_edit::move_to_next_cell(order.data(), editable.get(), columns, static_cast<int>(m_owner.items().size()),
                                          item, column, code, next_item, next_column))
        return false;
    item = next_item;
    column = next_column;
    return true;
}

}  // namespace

std::wstring properties_wide(const char* text) {
    kpl::array<wchar_t> w;
    utf8_to_wide(text, w);
    return std::wstring(w.data());
}

split_settings split_settings_load() {
    split_settings settings;
    settings.separators = g_separators.c_str();
    settings.line_breaks = g_line_breaks.get();
    return settings;
}

void split_settings_store(const split_settings& settings) {
    g_separators.set(settings.separators.c_str());
    g_line_breaks.set(settings.line_breaks);
}

void open_split_values_dialog(HWND owner, std::shared_ptr<split_settings> settings, properties_done done) {
    (new split_dialog(std::move(settings), std::move(done)))->open(owner, IDD_SPLIT_VALUES);
}

void open_table_edit_dialog(std::shared_ptr<properties_field_list> records, HWND owner, properties_done done,
                            const properties_field_info& info, std::vector<std::string> item_names) {
    (new table_dialog(std::move(records), std::move(done), info, std::move(item_names)))->open(owner, IDD_TABLE_EDIT);
}
